// Tests for the pixel reorderings, the eight EXIF orientations and the turn to the magnet's shape.
#include "helper/reorder.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "helper/image_io.h"
#include "tests/helper/test_images.h"
#include "tests/support/temp_folder.h"

namespace mosalith {
namespace {

using testing::MakeImage;
using testing::PixelAt;
using testing::Pixels;
using testing::Rgba;

// The stored 3 x 2 picture
//   A B C
//   D E F
// with every byte different, so that a pixel split or a channel swap shows.
constexpr Rgba A = 0xA1A2A3A4, B = 0xB1B2B3B4, C = 0xC1C2C3C4, D = 0xD1D2D3D4, E = 0xE1E2E3E4, F = 0xF1F2F3F4;

imaging::Bitmap Stored() { return MakeImage(3, 2, {A, B, C, D, E, F}); }

struct Expected {
  int32_t width;
  int32_t height;
  std::vector<Rgba> pixels;
};

void ExpectPicture(const imaging::Bitmap& image, const Expected& expected) {
  ASSERT_EQ(image.width_px, expected.width);
  ASSERT_EQ(image.height_px, expected.height);
  EXPECT_EQ(Pixels(image), expected.pixels);
}

TEST(ReorderTest, QuarterTurnsMirrorAndHalfTurnMoveWholePixels) {
  imaging::Bitmap image = Stored();
  ASSERT_TRUE(RotateClockwise(image));
  ExpectPicture(image, {2, 3, {D, A, E, B, F, C}});

  image = Stored();
  ASSERT_TRUE(RotateCounterClockwise(image));
  ExpectPicture(image, {2, 3, {C, F, B, E, A, D}});

  image = Stored();
  MirrorRows(image);
  ExpectPicture(image, {3, 2, {C, B, A, F, E, D}});

  image = Stored();
  ReversePixels(image);
  ExpectPicture(image, {3, 2, {F, E, D, C, B, A}});

  imaging::Bitmap single = MakeImage(1, 1, {A});
  MirrorRows(single);
  ReversePixels(single);
  ASSERT_TRUE(RotateClockwise(single));
  ExpectPicture(single, {1, 1, {A}});
}

TEST(ReorderTest, EachOrientationGivesTheUprightPicture) {
  const Expected upright[] = {
      {3, 2, {A, B, C, D, E, F}},  // 1
      {3, 2, {C, B, A, F, E, D}},  // 2: mirrored
      {3, 2, {F, E, D, C, B, A}},  // 3: half turn
      {3, 2, {D, E, F, A, B, C}},  // 4: upside down
      {2, 3, {A, D, B, E, C, F}},  // 5: transposed
      {2, 3, {D, A, E, B, F, C}},  // 6: quarter turn clockwise
      {2, 3, {F, C, E, B, D, A}},  // 7: transverse
      {2, 3, {C, F, B, E, A, D}},  // 8: quarter turn counter-clockwise
  };
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    imaging::Bitmap image = Stored();
    ApplyOrientation(image, orientation);
    ExpectPicture(image, upright[orientation - 1]);
  }
  for (int unknown : {0, 9, -1}) {
    imaging::Bitmap image = Stored();
    ApplyOrientation(image, unknown);
    ExpectPicture(image, upright[0]);
  }
}

TEST(ReorderTest, LargeTurnsAcrossTileEdgesAgreeWithOtherRoutes) {
  // 150 x 70 spans several cache tiles with ragged ends in both directions.
  auto paint = [](int32_t x, int32_t y) { return static_cast<Rgba>(x) << 16 | static_cast<Rgba>(y) << 4 | 0xF; };
  const imaging::Bitmap original = MakeImage(150, 70, paint);

  imaging::Bitmap turned = original;
  ASSERT_TRUE(RotateClockwise(turned));
  ASSERT_EQ(turned.width_px, 70);
  ASSERT_EQ(turned.height_px, 150);
  for (int32_t y : {0, 33, 69}) {
    for (int32_t x : {0, 64, 65, 149}) EXPECT_EQ(PixelAt(turned, 70 - 1 - y, x), paint(x, y));
  }

  ASSERT_TRUE(RotateClockwise(turned));  // two quarter turns are a half turn
  imaging::Bitmap half = original;
  ReversePixels(half);
  EXPECT_EQ(Pixels(turned), Pixels(half));

  imaging::Bitmap back = original;
  ASSERT_TRUE(RotateCounterClockwise(back));
  ASSERT_TRUE(RotateClockwise(back));
  EXPECT_EQ(Pixels(back), Pixels(original));
}

TEST(ReorderTest, OnlyMismatchedShapesTurn) {
  const MagnetShape portrait = MagnetShapeOf(909, 1206);
  const MagnetShape landscape = MagnetShapeOf(1206, 909);
  const MagnetShape square = MagnetShapeOf(909, 909);
  EXPECT_TRUE(portrait.portrait && !portrait.landscape);
  EXPECT_TRUE(landscape.landscape && !landscape.portrait);
  EXPECT_FALSE(square.portrait || square.landscape);

  EXPECT_TRUE(ShouldRotate(3000, 4000, landscape));
  EXPECT_TRUE(ShouldRotate(4000, 3000, portrait));
  EXPECT_FALSE(ShouldRotate(3000, 4000, portrait));
  EXPECT_FALSE(ShouldRotate(4000, 3000, landscape));
  EXPECT_FALSE(ShouldRotate(3000, 3000, landscape));
  EXPECT_FALSE(ShouldRotate(3000, 4000, square));
}

TEST(ReorderTest, PhotoTurnIsLoggedAndReported) {
  UprightPicture photo{MakeImage(2, 3, {A, B, C, D, E, F}), 2, 3};
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(TurnPhotoToMagnet(photo, 7, MagnetShapeOf(40, 30)));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Mosalith: Image 7 2x3 portrait shouldRotate=1 cellPortrait=0 cellLandscape=1\n");
  ExpectPicture(photo.pixels, {3, 2, {E, C, A, F, D, B}});
  EXPECT_EQ(photo.width_px, 3);
  EXPECT_EQ(photo.height_px, 2);

  UprightPicture square{MakeImage(2, 2, {A, B, C, D}), 2, 2};
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(TurnPhotoToMagnet(square, 0, MagnetShapeOf(30, 40)));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Mosalith: Image 0 2x2 square shouldRotate=0 cellPortrait=1 cellLandscape=0\n");
  ExpectPicture(square.pixels, {2, 2, {A, B, C, D}});

  // A reduced decode of a 4000 x 3000 photo is judged, logged and turned by the photo's own size.
  UprightPicture reduced{MakeImage(4, 2, [](int32_t, int32_t) { return A; }), 4000, 3000};
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(TurnPhotoToMagnet(reduced, 1, MagnetShapeOf(30, 40)));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Mosalith: Image 1 4000x3000 landscape shouldRotate=1 cellPortrait=1 cellLandscape=0\n");
  EXPECT_EQ(reduced.pixels.width_px, 2);
  EXPECT_EQ(reduced.width_px, 3000);
  EXPECT_EQ(reduced.height_px, 4000);

  // Frames follow the same rule silently.
  imaging::Bitmap frame = Stored();
  ::testing::internal::CaptureStderr();
  TurnFrameToMagnet(frame, MagnetShapeOf(30, 40));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");
  ExpectPicture(frame, {2, 3, {D, A, E, B, F, C}});
}

TEST(ReorderTest, LoadUprightHonoursTheExifTagAndLogsBothSizes) {
  test_support::TempFolder dir;
  // Left half red, right half blue, in 8 x 8 blocks so that the JPEG keeps the colours clean.
  const imaging::Bitmap stored =
      MakeImage(16, 8, [](int32_t x, int32_t) { return x < 8 ? Rgba{0xFF0000FF} : Rgba{0x0000FFFF}; });
  const std::string plain = dir.File("plain.jpg");
  ASSERT_TRUE(WriteJpeg(stored, plain, 100, testing::Codec()));
  const std::string turned = dir.File("turned.jpg");
  test_support::WriteBytes(turned, testing::InsertAfterStart(test_support::ReadBytes(plain), testing::ExifSegment(true, 6)));

  ::testing::internal::CaptureStderr();
  base::StatusOr<UprightPicture> upright = LoadUpright(turned, testing::Codec());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "Mosalith: load " + turned + " raw=16x8 exif=6 final=8x16\n");
  ASSERT_TRUE(upright.ok());
  EXPECT_EQ(upright->width_px, 8);
  EXPECT_EQ(upright->height_px, 16);
  const imaging::Bitmap* image = &upright->pixels;
  ASSERT_EQ(image->width_px, 8);
  ASSERT_EQ(image->height_px, 16);
  // A clockwise turn puts the stored left half on top.
  const uint8_t* top = image->pixel(4, 3);
  const uint8_t* bottom = image->pixel(4, 12);
  EXPECT_GT(top[0], 200);
  EXPECT_LT(top[2], 60);
  EXPECT_LT(bottom[0], 60);
  EXPECT_GT(bottom[2], 200);

  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(LoadUpright(dir.File("absent.jpg"), testing::Codec()).ok());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "");  // no line for a photo that cannot load
}

}  // namespace
}  // namespace mosalith
