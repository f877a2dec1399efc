// Tests for the area filter: flat pictures stay flat, the mean is kept, alpha weighting, parts seen
// alone, rows fed one by one, and a zone plate reduced without moire.
#include "platform/area_filter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace platform {
namespace {

// A picture whose values vary without pattern (a fixed pseudo-random sequence).
Bitmap Noise(int width, int height) {
  Bitmap image = *MakeBitmap(width, height, 0xFF000000);
  uint32_t state = 12345;
  for (size_t i = 0; i < image.rgba.size(); i += 4) {
    for (int c = 0; c < 3; ++c) {
      state = state * 1664525u + 1013904223u;
      image.rgba[i + c] = static_cast<uint8_t>(state >> 24);
    }
  }
  return image;
}

double Mean(const Bitmap& image, int channel) {
  double sum = 0;
  for (size_t i = static_cast<size_t>(channel); i < image.rgba.size(); i += 4) sum += image.rgba[i];
  return sum / (image.rgba.size() / 4);
}

TEST(AreaFilterTest, FlatStaysFlatTheMeanIsKeptAndTheSameSizeIsACopy) {
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{10, 7}, {3, 2}, {1, 1}, {64, 1}}) {
    const auto flat = ReduceByArea(*MakeBitmap(128, 96, 0xFF336699), width, height);
    ASSERT_TRUE(flat);
    for (size_t i = 0; i < flat->rgba.size(); i += 4) {
      ASSERT_EQ(flat->rgba[i], 0x33);
      ASSERT_EQ(flat->rgba[i + 2], 0x99);
      ASSERT_EQ(flat->rgba[i + 3], 0xFF);
    }
  }
  const Bitmap noise = Noise(300, 200);
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{150, 100}, {37, 23}, {200, 200}}) {
    const auto small = ReduceByArea(noise, width, height);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->width_px, width);
    EXPECT_EQ(small->height_px, height);
    EXPECT_NEAR(Mean(*small, 1), Mean(noise, 1), 1.0) << width;
  }
  EXPECT_EQ(ReduceByArea(noise, 300, 200)->rgba, noise.rgba);
}

TEST(AreaFilterTest, PixelSizedCheckersBecomeEvenGrey) {
  Bitmap checkers = *MakeBitmap(64, 48, 0xFF000000);
  for (int y = 0; y < 48; ++y) {
    for (int x = (y % 2); x < 64; x += 2) std::fill_n(checkers.pixel(x, y), 3, 0xFF);
  }
  const auto grey = ReduceByArea(checkers, 16, 12);
  ASSERT_TRUE(grey);
  for (size_t i = 0; i < grey->rgba.size(); i += 4) ASSERT_NEAR(grey->rgba[i], 128, 1) << i / 4;
}

TEST(AreaFilterTest, TransparentPixelsLendNoColour) {
  Bitmap image = *MakeBitmap(8, 8, 0xFF0000FF);  // opaque blue
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 4; ++x) image.pixel(x, y)[0] = 255, image.pixel(x, y)[2] = 0, image.pixel(x, y)[3] = 0;
  }
  const auto one = ReduceByArea(image, 1, 1);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->pixel(0, 0)[0], 0);  // no red from the transparent half
  EXPECT_EQ(one->pixel(0, 0)[2], 255);
  EXPECT_NEAR(one->pixel(0, 0)[3], 128, 1);
  EXPECT_EQ(ReduceByArea(*MakeBitmap(4, 4, 0x00FFFFFF), 1, 1)->pixel(0, 0)[3], 0);
}

TEST(AreaFilterTest, APartIsFilteredWithoutItsSurroundings) {
  // White on the left half, black on the right: the left half alone reduces to pure white.
  Bitmap image = *MakeBitmap(40, 20, 0xFF000000);
  for (int y = 0; y < 20; ++y) std::fill_n(image.pixel(0, y), 20 * 4, 0xFF);
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{5, 5}, {15, 15}}) {
    const auto left = ReduceByArea(image, SourcePart{0, 0, 20, 20}, width, height);
    ASSERT_TRUE(left);
    for (size_t i = 0; i < left->rgba.size(); ++i) ASSERT_EQ(left->rgba[i], 0xFF) << width;
  }
}

TEST(AreaFilterTest, RowsFedOneByOneGiveTheSameResult) {
  const Bitmap image = Noise(97, 61);
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{11, 7}, {40, 40}}) {
    const SourcePart part{2.25, 1.5, 90, 55};
    auto reducer = AreaReducer::Create(part, 97, 61, width, height);
    ASSERT_TRUE(reducer);
    EXPECT_FALSE(reducer->Finish());  // nothing before the rows
    for (int y = 0; y < reducer->row_count(); ++y) reducer->AddRow(image.pixel(0, reducer->first_row() + y));
    const auto streamed = reducer->Finish();
    ASSERT_TRUE(streamed);
    EXPECT_EQ(streamed->rgba, ReduceByArea(image, part, width, height)->rgba);
  }
}

TEST(AreaFilterTest, EnlargementsPartsOutsideAndEmptySizesAreRefused) {
  const Bitmap image = *MakeBitmap(8, 8);
  EXPECT_FALSE(ReduceByArea(image, 9, 4));
  EXPECT_FALSE(ReduceByArea(image, 0, 4));
  EXPECT_FALSE(ReduceByArea(image, SourcePart{4, 0, 5, 8}, 2, 2));
  EXPECT_FALSE(ReduceByArea(image, SourcePart{-1, 0, 4, 4}, 2, 2));
  EXPECT_FALSE(ReduceByArea(image, SourcePart{0, 0, std::nan(""), 4}, 2, 2));
  EXPECT_FALSE(ReduceByArea(Bitmap{4, 4, {}}, 2, 2));  // pixels missing
}

TEST(AreaFilterTest, AZonePlateReducedFourTimesShowsNoMoire) {
  // Rings whose frequency rises to the picture's limit at the edges: aliasing shows as rings in what
  // should be flat grey at a quarter of the size.
  constexpr int kSide = 512;
  Bitmap plate = *MakeBitmap(kSide, kSide, 0xFF000000);
  for (int y = 0; y < kSide; ++y) {
    for (int x = 0; x < kSide; ++x) {
      const double dx = x - kSide / 2.0, dy = y - kSide / 2.0;
      const auto v = static_cast<uint8_t>(std::lround(127.5 + 127.5 * std::cos(std::numbers::pi * (dx * dx + dy * dy) / kSide)));
      std::fill_n(plate.pixel(x, y), 3, v);
    }
  }
  const auto small = ReduceByArea(plate, kSide / 4, kSide / 4);
  ASSERT_TRUE(small);
  // The ring where the pattern is two to two and a half times finer than the result's pixels can show
  // must come out flat (an average alone leaves rings of about +-20 levels there). Further out, rings
  // along the diagonals are within what a result pixel can show along each axis, and stay.
  int lowest = 255, highest = 0;
  for (int y = 0; y < kSide / 4; ++y) {
    for (int x = 0; x < kSide / 4; ++x) {
      const double dx = x + 0.5 - kSide / 8.0, dy = y + 0.5 - kSide / 8.0;
      const double radius = std::sqrt(dx * dx + dy * dy) / (kSide / 8.0);
      if (radius < 0.5 || radius > 0.62) continue;
      lowest = std::min<int>(lowest, small->pixel(x, y)[0]);
      highest = std::max<int>(highest, small->pixel(x, y)[0]);
    }
  }
  EXPECT_LT(highest - lowest, 10);
}

}  // namespace
}  // namespace platform
