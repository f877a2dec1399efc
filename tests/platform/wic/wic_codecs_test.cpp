// Tests for WIC's decoding and PNG encoding on bytes in memory: what the header reader and WIC disagree
// on, damaged data, sizes the caller gets wrong.
#include "platform/wic/wic_codecs.h"

#include <gtest/gtest.h>

namespace platform::wic {
namespace {

std::vector<uint8_t> PngOf(int width, int height, uint32_t argb) {
  std::vector<uint8_t> png;
  EXPECT_EQ(EncodePng(*MakeBitmap(width, height, argb), &png), GraphicsStatus::kOk);
  return png;
}

TEST(WicCodecsTest, DecodesOnlyWhatTheHeaderDescribesAtSizesItCovers) {
  const std::vector<uint8_t> png = PngOf(40, 30, 0x80FF8000);
  Bitmap out;
  ASSERT_EQ(DecodeReduced(png, 40, 30, 40, 30, &out, nullptr), GraphicsStatus::kOk);
  EXPECT_EQ(out.pixel(39, 29)[0], 0xFF);
  EXPECT_EQ(out.pixel(39, 29)[1], 0x80);
  EXPECT_EQ(out.pixel(39, 29)[3], 0x80);
  ASSERT_EQ(DecodeReduced(png, 40, 30, 7, 5, &out, nullptr), GraphicsStatus::kOk);
  EXPECT_EQ(out.width_px, 7);
  EXPECT_EQ(out.pixel(6, 4)[1], 0x80);
  // A header that says another size than the pixel data holds, sizes larger than the picture, none.
  EXPECT_EQ(DecodeReduced(png, 41, 30, 41, 30, &out, nullptr), GraphicsStatus::kUnknownImageFormat);
  EXPECT_EQ(DecodeReduced(png, 40, 30, 41, 30, &out, nullptr), GraphicsStatus::kInvalidParameter);
  EXPECT_EQ(DecodeReduced(png, 40, 30, 0, 30, &out, nullptr), GraphicsStatus::kInvalidParameter);
  EXPECT_EQ(out.width_px, 7);
}

TEST(WicCodecsTest, DamagedDataIsACleanFailure) {
  Bitmap out;
  EXPECT_EQ(DecodeReduced({}, 10, 10, 10, 10, &out, nullptr), GraphicsStatus::kUnknownImageFormat);
  EXPECT_EQ(DecodeReduced(std::vector<uint8_t>(500, 0xAB), 10, 10, 10, 10, &out, nullptr),
            GraphicsStatus::kUnknownImageFormat);
  std::vector<uint8_t> cut = PngOf(200, 100, 0xFF00FF00);
  for (size_t keep : {cut.size() - 12, cut.size() / 2, size_t{40}}) {
    std::vector<uint8_t> part(cut.begin(), cut.begin() + static_cast<std::ptrdiff_t>(keep));
    const GraphicsStatus status = DecodeReduced(part, 200, 100, 50, 25, &out, nullptr);
    if (status == GraphicsStatus::kOk) {
      EXPECT_EQ(out.rgba.size(), 50u * 25u * 4u) << keep;
    }
  }
  Bitmap wrong_size;
  wrong_size.width_px = 4, wrong_size.height_px = 4;  // no pixels behind the size
  std::vector<uint8_t> png = {1};
  EXPECT_EQ(EncodePng(wrong_size, &png), GraphicsStatus::kInvalidParameter);
  EXPECT_EQ(png.size(), 1u);
}

}  // namespace
}  // namespace platform::wic
