// Tests for FakeGraphics: the double other tests rely on behaves like the port says.
#include "platform/fake/fake_graphics.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(FakeGraphicsTest, DecodesRegisteredPicturesWithTheRealDecodersEighthScales) {
  FakeGraphics graphics;
  graphics.AddPicture("/p/a.jpg", *imaging::MakeBitmap(800, 600, 0xFF112233), 6);
  graphics.AddPicture("/p/b.png", *imaging::MakeBitmap(800, 600), 1, ImageFormat::kPng);
  DecodedImage decoded;
  ASSERT_EQ(graphics.Decode("/p/a.jpg", {150, 100}, &decoded), GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.width_px, 200);
  EXPECT_EQ(decoded.info.orientation, 6);
  EXPECT_EQ(decoded.info.width_px, 800);
  ASSERT_EQ(graphics.Decode("/p/b.png", {150, 100}, &decoded), GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.width_px, 800);  // only JPEGs are reduced
  EXPECT_EQ(graphics.decode_options().size(), 2u);
  EXPECT_EQ(graphics.Decode("/p/none.jpg", {}, &decoded), GraphicsStatus::kNotFound);
}

TEST(FakeGraphicsTest, ArrangedFailuresAndTheReadableEncoding) {
  FakeGraphics graphics;
  graphics.AddPicture("/p/a.jpg", *imaging::MakeBitmap(4, 4));
  graphics.FailDecode("/p/a.jpg", GraphicsStatus::kOutOfMemory);
  ImageInfo info;
  DecodedImage decoded;
  EXPECT_EQ(graphics.ReadInfo("/p/a.jpg", &info), GraphicsStatus::kOk);
  EXPECT_EQ(graphics.Decode("/p/a.jpg", {}, &decoded), GraphicsStatus::kOutOfMemory);

  const imaging::Bitmap image = *imaging::MakeBitmap(3, 2, 0xFF445566);
  std::vector<uint8_t> bytes;
  ASSERT_EQ(graphics.EncodeJpeg(image, 77, &bytes), GraphicsStatus::kOk);
  EXPECT_EQ(FakeGraphics::ReadEncoded(bytes)->rgba, image.rgba);
  EXPECT_EQ(graphics.jpeg_qualities(), std::vector<int>{77});
  graphics.FailEncode(GraphicsStatus::kFailed);
  EXPECT_EQ(graphics.EncodeJpeg(image, 90, &bytes), GraphicsStatus::kFailed);
  graphics.FailCanvas(GraphicsStatus::kOutOfMemory);
  GraphicsStatus status;
  EXPECT_EQ(graphics.CreateCanvas(10, 10, &status), nullptr);
  EXPECT_EQ(status, GraphicsStatus::kOutOfMemory);
  EXPECT_FALSE(FakeGraphics::ReadEncoded({1, 2, 3}).has_value());
}

}  // namespace
}  // namespace platform
