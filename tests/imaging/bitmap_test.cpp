// Tests for Bitmap: limits and the exact reorderings behind EXIF orientation.
#include "imaging/bitmap.h"

#include <gtest/gtest.h>

namespace imaging {
namespace {

// A 3 x 2 picture whose pixel (x, y) has red = 10 * x + y, so every move can be traced.
Bitmap Traceable() {
  Bitmap image = *MakeBitmap(3, 2);
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 3; ++x) image.pixel(x, y)[0] = static_cast<uint8_t>(10 * x + y);
  }
  return image;
}

int Red(const Bitmap& image, int x, int y) { return image.pixel(x, y)[0]; }

TEST(BitmapTest, LimitsRefuseBeforeAllocating) {
  EXPECT_TRUE(SizeWithinLimits(1, 1));
  EXPECT_TRUE(SizeWithinLimits(32767, 7000));
  EXPECT_TRUE(SizeWithinLimits(1, 65500));  // a JPEG's longest side
  EXPECT_FALSE(SizeWithinLimits(0, 5));
  EXPECT_FALSE(SizeWithinLimits(65536, 1));
  EXPECT_TRUE(CanvasSizeWithinLimits(32767, 7000));
  EXPECT_FALSE(CanvasSizeWithinLimits(32768, 1));  // what the drawing libraries take
  EXPECT_FALSE(SizeWithinLimits(20000, 20000));  // 400 M pixels
  EXPECT_FALSE(MakeBitmap(-1, 3).has_value());
  const auto white = MakeBitmap(2, 1, 0xFFFFFFFF);
  ASSERT_TRUE(white.has_value());
  EXPECT_EQ(white->rgba, PixelBytes(8, 255));
  const auto blue = MakeBitmap(1, 1, 0x800000FF);
  EXPECT_EQ(blue->rgba, (PixelBytes{0, 0, 255, 128}));
}

TEST(BitmapTest, TurnsMoveEveryPixelWhereTheOrientationSays) {
  const Bitmap image = Traceable();
  const Bitmap cw = RotateClockwise(image);
  ASSERT_EQ(cw.width_px, 2);
  ASSERT_EQ(cw.height_px, 3);
  // Column x, row y goes to column height-1-y, row x.
  EXPECT_EQ(Red(cw, 1, 0), 0);   // (0,0)
  EXPECT_EQ(Red(cw, 0, 0), 1);   // (0,1)
  EXPECT_EQ(Red(cw, 1, 2), 20);  // (2,0)
  const Bitmap ccw = RotateCounterClockwise(image);
  EXPECT_EQ(Red(ccw, 0, 2), 0);  // (0,0) goes to column y, row width-1-x
  EXPECT_EQ(Red(ccw, 1, 0), 21);
  EXPECT_EQ(Rotate180(image).rgba, RotateClockwise(cw).rgba);
  EXPECT_EQ(Red(MirrorRows(image), 0, 1), 21);

  // Every orientation undone by its inverse gives the stored picture back; 6 and 8 are inverses, the
  // mirrors and 3 undo themselves, 5 and 7 (transpose, transverse) too.
  const int inverse[9] = {0, 1, 2, 3, 4, 5, 8, 7, 6};
  for (int o = 1; o <= 8; ++o) {
    const Bitmap there = ApplyOrientation(image, o, OrientationSet::kAll);
    EXPECT_EQ(there.width_px, OrientationSwapsSides(o) ? 2 : 3) << o;
    EXPECT_EQ(ApplyOrientation(there, inverse[o], OrientationSet::kAll).rgba, image.rgba) << o;
  }
  // Transpose: (x, y) goes to (y, x).
  EXPECT_EQ(Red(ApplyOrientation(image, 5, OrientationSet::kAll), 1, 2), 21);
}

TEST(BitmapTest, TurnsOnlyLeavesMirroredOrientationsAsStored) {
  const Bitmap image = Traceable();
  for (int o : {2, 4, 5, 7, 0, 9, -3}) {
    EXPECT_EQ(ApplyOrientation(image, o, OrientationSet::kTurnsOnly).rgba, image.rgba) << o;
  }
  EXPECT_EQ(ApplyOrientation(image, 6, OrientationSet::kTurnsOnly).rgba, RotateClockwise(image).rgba);
}

}  // namespace
}  // namespace imaging
