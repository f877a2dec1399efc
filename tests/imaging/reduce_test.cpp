// Tests for the one reduction: flat pictures stay flat, the mean is kept, alpha weighting, parts seen
// alone, rows fed one by one, the area pre-average, and a zone plate reduced without moire.
#include "imaging/reduce.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace imaging {
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

TEST(ReduceBitmapTest, FlatStaysFlatTheMeanIsKeptAndTheSameSizeIsACopy) {
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{10, 7}, {3, 2}, {1, 1}, {64, 1}}) {
    const auto flat = ReduceBitmap(*MakeBitmap(128, 96, 0xFF336699), width, height);
    ASSERT_TRUE(flat);
    for (size_t i = 0; i < flat->rgba.size(); i += 4) {
      ASSERT_EQ(flat->rgba[i], 0x33);
      ASSERT_EQ(flat->rgba[i + 2], 0x99);
      ASSERT_EQ(flat->rgba[i + 3], 0xFF);
    }
  }
  const Bitmap noise = Noise(300, 200);
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{150, 100}, {37, 23}, {200, 200}}) {
    const auto small = ReduceBitmap(noise, width, height);
    ASSERT_TRUE(small);
    EXPECT_EQ(small->width_px, width);
    EXPECT_EQ(small->height_px, height);
    EXPECT_NEAR(Mean(*small, 1), Mean(noise, 1), 1.0) << width;
  }
  EXPECT_EQ(ReduceBitmap(noise, 300, 200)->rgba, noise.rgba);
}

TEST(ReduceBitmapTest, PixelSizedCheckersBecomeEvenGrey) {
  Bitmap checkers = *MakeBitmap(64, 48, 0xFF000000);
  for (int y = 0; y < 48; ++y) {
    for (int x = (y % 2); x < 64; x += 2) std::fill_n(checkers.pixel(x, y), 3, 0xFF);
  }
  const auto grey = ReduceBitmap(checkers, 16, 12);
  ASSERT_TRUE(grey);
  // Inside, grey to the level; the edge pixels, whose kernel repeats the edge pixel, lean a few levels.
  for (int y = 0; y < 12; ++y) {
    for (int x = 0; x < 16; ++x) {
      const bool edge = x == 0 || y == 0 || x == 15 || y == 11;
      ASSERT_NEAR(grey->pixel(x, y)[0], 128, edge ? 5 : 1) << x << "," << y;
    }
  }
}

TEST(ReduceBitmapTest, TransparentPixelsLendNoColour) {
  Bitmap image = *MakeBitmap(8, 8, 0xFF0000FF);  // opaque blue
  for (int y = 0; y < 8; ++y) {
    for (int x = 0; x < 4; ++x) image.pixel(x, y)[0] = 255, image.pixel(x, y)[2] = 0, image.pixel(x, y)[3] = 0;
  }
  const auto one = ReduceBitmap(image, 1, 1);
  ASSERT_TRUE(one);
  EXPECT_EQ(one->pixel(0, 0)[0], 0);  // no red from the transparent half
  EXPECT_EQ(one->pixel(0, 0)[2], 255);
  EXPECT_NEAR(one->pixel(0, 0)[3], 128, 1);
  EXPECT_EQ(ReduceBitmap(*MakeBitmap(4, 4, 0x00FFFFFF), 1, 1)->pixel(0, 0)[3], 0);
}

TEST(ReduceBitmapTest, APartIsFilteredWithoutItsSurroundings) {
  // White on the left half, black on the right: the left half alone reduces to pure white.
  Bitmap image = *MakeBitmap(40, 20, 0xFF000000);
  for (int y = 0; y < 20; ++y) std::fill_n(image.pixel(0, y), 20 * 4, 0xFF);
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{5, 5}, {15, 15}}) {
    const auto left = ReduceBitmap(image, PixelRect{0, 0, 20, 20}, width, height);
    ASSERT_TRUE(left);
    for (size_t i = 0; i < left->rgba.size(); ++i) ASSERT_EQ(left->rgba[i], 0xFF) << width;
  }
}

TEST(ReduceBitmapTest, RowsFedOneByOneGiveTheSameResult) {
  const Bitmap image = Noise(97, 61);
  // Reduced more than three times (the area pass first) and less, and grown along one side.
  for (const auto& [width, height] : std::vector<std::pair<int, int>>{{11, 7}, {40, 40}, {30, 80}}) {
    const PixelRect part{2, 1, 90, 55};
    auto reducer = RowReducer::Create(part, 97, 61, width, height);
    ASSERT_TRUE(reducer);
    EXPECT_EQ(reducer->first_row(), 1);
    EXPECT_EQ(reducer->row_count(), 55);
    EXPECT_FALSE(reducer->Finish());  // nothing before the rows
    for (int y = 0; y < reducer->row_count(); ++y) reducer->AddRow(image.pixel(0, reducer->first_row() + y));
    const auto streamed = reducer->Finish();
    ASSERT_TRUE(streamed);
    EXPECT_EQ(streamed->rgba, ReduceBitmap(image, part, width, height)->rgba);
  }
}

TEST(ReduceBitmapTest, PartsOutsideEmptySizesAndMissingPixelsAreRefused) {
  const Bitmap image = *MakeBitmap(8, 8);
  EXPECT_FALSE(ReduceBitmap(image, 0, 4));
  EXPECT_FALSE(ReduceBitmap(image, 70000, 4));
  EXPECT_FALSE(ReduceBitmap(image, PixelRect{4, 0, 5, 8}, 2, 2));
  EXPECT_FALSE(ReduceBitmap(image, PixelRect{-1, 0, 4, 4}, 2, 2));
  EXPECT_FALSE(ReduceBitmap(image, PixelRect{0, 0, 0, 4}, 2, 2));
  EXPECT_FALSE(ReduceBitmap(Bitmap{4, 4, {}}, 2, 2));  // pixels missing
  EXPECT_FALSE(RowReducer::Create(PixelRect{0, 0, 8, 9}, 8, 8, 2, 2));
}

TEST(ReduceBitmapTest, AZonePlateReducedFourTimesShowsNoMoire) {
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
  const auto small = ReduceBitmap(plate, kSide / 4, kSide / 4);
  ASSERT_TRUE(small);
  // Beyond half the radius the rings are finer than the result's pixels can show, and must come out
  // flat (an area average alone leaves rings of about +-20 levels there).
  int lowest = 255, highest = 0;
  for (int y = 0; y < kSide / 4; ++y) {
    for (int x = 0; x < kSide / 4; ++x) {
      const double dx = x + 0.5 - kSide / 8.0, dy = y + 0.5 - kSide / 8.0;
      const double radius = std::sqrt(dx * dx + dy * dy) / (kSide / 8.0);
      if (radius < 0.5 || radius > 0.97) continue;
      lowest = std::min<int>(lowest, small->pixel(x, y)[0]);
      highest = std::max<int>(highest, small->pixel(x, y)[0]);
    }
  }
  EXPECT_LT(highest - lowest, 10);
}

}  // namespace
}  // namespace imaging
