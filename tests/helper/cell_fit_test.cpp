// Tests for fitting a photo to its magnet: cover scale, centre crop and the user's zoom and pan.
#include "helper/cell_fit.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/helper/test_images.h"

namespace mosalith {
namespace {

using testing::MakeImage;
using testing::PixelAt;
using testing::Pixels;
using testing::Rgba;

constexpr Rgba kWhite = 0xFFFFFFFF;

// Each pixel names its own column (R high, G low byte) and row (B): a sampled pixel tells where it came
// from, and integer sample positions reproduce it exactly.
Rgba Coordinates(int32_t x, int32_t y) {
  return (static_cast<Rgba>(x >> 8) << 24) | (static_cast<Rgba>(x & 0xFF) << 16) |
         (static_cast<Rgba>(y & 0xFF) << 8) | 0xFFu;
}

EffectRecord Zoom(float scale, float offset_x, float offset_y, float viewport_width, float viewport_height) {
  EffectRecord record;
  record.scale = scale;
  record.offsetX = offset_x;
  record.offsetY = offset_y;
  record.viewportWidth = viewport_width;
  record.viewportHeight = viewport_height;
  return record;
}

// UserTransform on a copy, returning the picture and the one line it printed.
std::pair<imaging::Bitmap, std::string> Transformed(const imaging::Bitmap& photo, const EffectRecord& record, int32_t mw,
                                                int32_t mh, bool rotated) {
  imaging::Bitmap copy = photo;
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(UserTransform(copy, record, mw, mh, rotated));
  return {std::move(copy), ::testing::internal::GetCapturedStderr()};
}

TEST(CellFitTest, CoverScaleFillsTheMagnetAndCropTakesTheMiddle) {
  imaging::Bitmap photo = MakeImage(1200, 800, [](int32_t, int32_t) { return Rgba{0x336699FF}; });
  CoverScale(photo, 600, 600);
  ASSERT_EQ(photo.width_px, 900);  // scale 0.75
  ASSERT_EQ(photo.height_px, 600);
  EXPECT_EQ(PixelAt(photo, 450, 300), 0x336699FFu);  // a flat picture stays flat through the filter

  imaging::Bitmap scaled = MakeImage(900, 600, Coordinates);
  CenterCrop(scaled, 600, 600);
  ASSERT_EQ(scaled.width_px, 600);
  ASSERT_EQ(scaled.height_px, 600);
  EXPECT_EQ(PixelAt(scaled, 0, 0), Coordinates(150, 0));
  EXPECT_EQ(PixelAt(scaled, 599, 599), Coordinates(749, 599));
}

TEST(CellFitTest, CoverScaleNeverEndsAPixelShortOfTheMagnet) {
  // 909 / 1087 * 1087 is 908.99999... in double precision; truncating it would leave a white column.
  const double width_scale = 909.0 / 1087;
  ASSERT_LT(static_cast<int>(width_scale * 1087), 909);
  imaging::Bitmap photo = MakeImage(1087, 1500, [](int32_t, int32_t) { return kWhite; });
  CoverScale(photo, 909, 1206);
  EXPECT_EQ(photo.width_px, 909);
  EXPECT_EQ(photo.height_px, 1254);  // 1500 * 909 / 1087 = 1254.37
}

TEST(CellFitTest, SmallerPhotosAndSliversKeepWhatTheyHave) {
  imaging::Bitmap small = MakeImage(4, 3, Coordinates);
  CenterCrop(small, 10, 2);  // wider magnet: full width kept, middle rows taken
  ASSERT_EQ(small.width_px, 4);
  ASSERT_EQ(small.height_px, 2);
  EXPECT_EQ(PixelAt(small, 3, 0), Coordinates(3, 0));

  // Covering a 1000 x 1000 magnet with a 1 x 30000 sliver would need 30 gigapixels: refused, not tried.
  imaging::Bitmap sliver = MakeImage(1, 30000, [](int32_t, int32_t) { return kWhite; });
  CoverScale(sliver, 1000, 1000);
  EXPECT_EQ(sliver.width_px, 1);
  EXPECT_EQ(sliver.height_px, 30000);
}

// A photo with detail everywhere (smooth, so that the filter's result depends on where it samples).
Rgba WavesAt(double x, double y) {
  const auto level = [](double v) { return static_cast<Rgba>(127.5 + 127.5 * std::sin(v)); };
  return (level(x * 0.05) << 24) | (level(y * 0.07) << 16) | (level((x + y) * 0.03) << 8) | 0xFFu;
}
Rgba Waves(int32_t x, int32_t y) { return WavesAt(x, y); }

TEST(CellFitTest, CoverCropIsCoverScaleThenCentreCropInOnePass) {
  struct Case {
    int32_t width, height, magnet_width, magnet_height;
  };
  for (const Case& c : {Case{1200, 800, 600, 600}, Case{1087, 1500, 909, 1206}, Case{300, 500, 606, 603},
                        Case{640, 480, 640, 480}}) {
    const imaging::Bitmap photo = MakeImage(c.width, c.height, Waves);
    imaging::Bitmap two_steps = photo;
    CoverScale(two_steps, c.magnet_width, c.magnet_height);
    CenterCrop(two_steps, c.magnet_width, c.magnet_height);
    imaging::Bitmap one_pass = photo;
    ASSERT_TRUE(CoverCrop(one_pass, c.width, c.height, c.magnet_width, c.magnet_height));
    ASSERT_EQ(one_pass.width_px, c.magnet_width);
    ASSERT_EQ(one_pass.height_px, c.magnet_height);
    EXPECT_TRUE(Pixels(one_pass) == Pixels(two_steps)) << c.width << "x" << c.height;
  }
}

TEST(CellFitTest, SliversFillTheirMagnet) {
  // 4000 x 1 into 400 x 300: covering needs a 1,200,000 x 300 picture, far over the pixel budget, but
  // only its middle 400 columns are ever made, from the sliver's middle pixels (not its red ends).
  const imaging::Bitmap sliver = MakeImage(4000, 1, [](int32_t x, int32_t) {
    return x < 100 || x >= 3900 ? Rgba{0xFF0000FF} : Rgba{0x336699FF};
  });
  imaging::Bitmap photo = sliver;
  FitToMagnet(photo, nullptr, 400, 300, false);
  ASSERT_EQ(photo.width_px, 400);
  ASSERT_EQ(photo.height_px, 300);
  EXPECT_EQ(Pixels(photo), std::vector<Rgba>(400 * 300, 0x336699FFu));
}

TEST(CellFitTest, AReducedDecodeFitsLikeTheWholePhoto) {
  // The same picture held at half size: cover size and crop come from the whole photo's size.
  const imaging::Bitmap whole = MakeImage(1600, 1200, Waves);
  // Each half-size pixel sits where its 2 x 2 whole-size pixels have their centre.
  imaging::Bitmap half = MakeImage(800, 600, [](int32_t x, int32_t y) { return WavesAt(2 * x + 0.5, 2 * y + 0.5); });
  imaging::Bitmap expected = whole;
  FitToMagnet(expected, nullptr, 500, 500, false);
  FitToMagnet(half, 1600, 1200, nullptr, 500, 500, false);
  ASSERT_EQ(half.width_px, 500);
  ASSERT_EQ(half.height_px, 500);
  double error = 0;
  for (int32_t y = 0; y < 500; ++y) {
    for (int32_t x = 0; x < 500; ++x) {
      for (int c = 0; c < 3; ++c) error += std::abs(half.pixel(x, y)[c] - expected.pixel(x, y)[c]);
    }
  }
  EXPECT_LT(error / (500 * 500 * 3), 2.0);  // mean difference under two levels: same place, same scale
}

TEST(CellFitTest, ZoomTwoShowsTheCentralQuarterEnlarged) {
  const imaging::Bitmap photo = MakeImage(900, 600, Coordinates);
  auto [out, line] = Transformed(photo, Zoom(2, 0, 0, 300, 300), 600, 600, false);
  EXPECT_EQ(line,
            "Mosalith TRANSFORM DEBUG: imgSize=900x600 cellSize=600x600 vpSize=300x300 eff.offset=(0,0) "
            "offXY=(0,0) scaleRatio=2 scaledOff=(0,0) srcCenter=(450,300) totalScale=2 wasRotated=0\n");
  ASSERT_EQ(out.width_px, 600);
  ASSERT_EQ(out.height_px, 600);
  EXPECT_EQ(PixelAt(out, 0, 0), Coordinates(300, 150));
  EXPECT_EQ(PixelAt(out, 300, 300), Coordinates(450, 300));
  EXPECT_EQ(PixelAt(out, 598, 598), Coordinates(599, 449));
  // Half-way between columns 300 and 301 the low column byte is (44 + 45) / 2, truncated to 44.
  EXPECT_EQ(PixelAt(out, 1, 0), Coordinates(300, 150));
  EXPECT_EQ(PixelAt(out, 3, 0), Coordinates(301, 150));
}

TEST(CellFitTest, PanMovesTheSampledCentre) {
  const imaging::Bitmap photo = MakeImage(900, 600, Coordinates);
  auto [out, line] = Transformed(photo, Zoom(2, 10, -5, 300, 300), 600, 600, false);
  EXPECT_NE(line.find(" scaledOff=(20,-10) srcCenter=(470,290) "), std::string::npos) << line;
  EXPECT_NE(line.find(" eff.offset=(10,-5) offXY=(10,-5) "), std::string::npos) << line;
  EXPECT_EQ(PixelAt(out, 300, 300), Coordinates(470, 290));
}

TEST(CellFitTest, ZoomOutLeavesWhiteAroundThePhoto) {
  const imaging::Bitmap photo = MakeImage(900, 600, Coordinates);
  auto [out, line] = Transformed(photo, Zoom(0.5f, 0, 0, 300, 300), 600, 600, false);
  EXPECT_EQ(PixelAt(out, 0, 0), kWhite);      // sx = -150
  EXPECT_EQ(PixelAt(out, 599, 300), kWhite);  // sx = 1048
  EXPECT_EQ(PixelAt(out, 74, 300), kWhite);   // sx = -2
  EXPECT_EQ(PixelAt(out, 75, 300), Coordinates(0, 300));
  EXPECT_EQ(PixelAt(out, 300, 300), Coordinates(450, 300));
}

TEST(CellFitTest, TheLastColumnAndRowAreNeverSampledAsTopLeft) {
  const imaging::Bitmap photo = MakeImage(600, 600, Coordinates);
  // Viewport 600: one viewport unit is one pixel, so the offsets shift the source by exactly one pixel.
  auto [out, line] = Transformed(photo, Zoom(1, 1, 1, 600, 600), 600, 600, false);
  EXPECT_EQ(PixelAt(out, 597, 597), Coordinates(598, 598));
  EXPECT_EQ(PixelAt(out, 598, 10), kWhite);  // maps exactly onto column 599
  EXPECT_EQ(PixelAt(out, 10, 598), kWhite);  // maps exactly onto row 599
  EXPECT_EQ(PixelAt(out, 599, 599), kWhite);
}

TEST(CellFitTest, ATurnedPhotoTurnsItsViewport) {
  const imaging::Bitmap photo = MakeImage(600, 800, Coordinates);
  auto [out, line] = Transformed(photo, Zoom(1.5f, 0, 0, 400, 300), 600, 800, true);
  EXPECT_NE(line.find(" vpSize=300x400 "), std::string::npos) << line;
  EXPECT_NE(line.find(" scaleRatio=2 "), std::string::npos) << line;
  EXPECT_NE(line.find(" totalScale=1.5 wasRotated=1"), std::string::npos) << line;
}

TEST(CellFitTest, NeutralTransformAgreesWithTheCentreCrop) {
  const imaging::Bitmap photo = MakeImage(900, 600, Coordinates);
  auto [transformed, line] = Transformed(photo, Zoom(1, 0, 0, 300, 300), 600, 600, false);
  imaging::Bitmap cropped = photo;
  CenterCrop(cropped, 600, 600);
  // Both take columns 150..749 of every row; only the bottom row differs, because it maps exactly onto
  // the photo's last row, which the transform never uses as a top sample.
  for (int32_t y = 0; y < 599; ++y) {
    for (int32_t x = 0; x < 600; ++x) ASSERT_EQ(PixelAt(transformed, x, y), PixelAt(cropped, x, y)) << x << "," << y;
  }
  EXPECT_EQ(PixelAt(transformed, 300, 599), kWhite);
  EXPECT_EQ(PixelAt(cropped, 300, 599), Coordinates(450, 599));
}

TEST(CellFitTest, FitIsAlwaysMagnetSized) {
  const imaging::Bitmap photo = MakeImage(1200, 800, Coordinates);
  imaging::Bitmap reference = photo;
  FitToMagnet(reference, nullptr, 600, 600, false);
  ASSERT_EQ(reference.width_px, 600);
  ASSERT_EQ(reference.height_px, 600);

  // Zoom without a viewport cannot be placed: it falls back to the centre crop, without a debug line.
  imaging::Bitmap no_viewport = photo;
  const EffectRecord zoom_only = Zoom(2, 0, 0, 0, 0);
  ::testing::internal::CaptureStderr();
  FitToMagnet(no_viewport, &zoom_only, 600, 600, false);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(Pixels(no_viewport), Pixels(reference));

  // A record with neither zoom nor pan takes the crop too, whatever its viewport.
  imaging::Bitmap neutral = photo;
  const EffectRecord still = Zoom(1, 0, 0, 300, 300);
  FitToMagnet(neutral, &still, 600, 600, false);
  EXPECT_EQ(Pixels(neutral), Pixels(reference));

  imaging::Bitmap zoomed = photo;
  const EffectRecord zoom = Zoom(2, 0, 0, 300, 300);
  ::testing::internal::CaptureStderr();
  FitToMagnet(zoomed, &zoom, 600, 600, false);
  EXPECT_NE(::testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(zoomed.width_px, 600);
  EXPECT_EQ(zoomed.height_px, 600);
  EXPECT_NE(Pixels(zoomed), Pixels(reference));
}

TEST(CellFitTest, ZeroZoomGivesWhiteNotACrash) {
  const imaging::Bitmap photo = MakeImage(60, 40, Coordinates);
  auto [out, line] = Transformed(photo, Zoom(0, 0, 0, 30, 20), 30, 30, false);
  for (Rgba pixel : Pixels(out)) ASSERT_EQ(pixel, kWhite);
}

}  // namespace
}  // namespace mosalith
