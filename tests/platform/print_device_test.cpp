// Tests for the page picture's placement transform: it must move pixels exactly where the bitmap turns do.
#include "platform/print_device.h"

#include <cmath>

#include <gtest/gtest.h>

namespace platform {
namespace {

// A 3 x 2 picture whose pixel (x, y) has red = 10 * x + y.
imaging::Bitmap Traceable() {
  imaging::Bitmap image = *imaging::MakeBitmap(3, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) image.pixel(x, y)[0] = static_cast<uint8_t>(10 * x + y);
  }
  return image;
}

TEST(PlacedPictureTransformTest, AgreesWithTheBitmapTurnsForEveryOrientationAndTurn) {
  const imaging::Bitmap stored = Traceable();
  for (int orientation = 0; orientation <= 9; ++orientation) {  // 0 and 9 count as 1
    for (const bool turn : {false, true}) {
      imaging::Bitmap expected = imaging::ApplyOrientation(stored, orientation, imaging::OrientationSet::kAll);
      if (turn) expected = imaging::RotateClockwise(expected);
      PagePicture picture;
      picture.width_px = stored.width_px;
      picture.height_px = stored.height_px;
      picture.orientation = orientation;
      picture.turn_clockwise = turn;
      const PictureTransform t = PlacedPictureTransform(picture);
      ASSERT_EQ(t.shown_width, expected.width_px) << orientation << turn;
      ASSERT_EQ(t.shown_height, expected.height_px) << orientation << turn;
      // The centre of each stored pixel lands on the centre of the pixel that holds it after the turns.
      for (int y = 0; y < stored.height_px; ++y) {
        for (int x = 0; x < stored.width_px; ++x) {
          const double cx = x + 0.5, cy = y + 0.5;
          const int px = static_cast<int>(std::floor(t.xx * cx + t.xy * cy + t.x0));
          const int py = static_cast<int>(std::floor(t.yx * cx + t.yy * cy + t.y0));
          ASSERT_TRUE(px >= 0 && py >= 0 && px < expected.width_px && py < expected.height_px);
          EXPECT_EQ(expected.pixel(px, py)[0], stored.pixel(x, y)[0]) << orientation << turn << x << y;
        }
      }
    }
  }
}

}  // namespace
}  // namespace platform
