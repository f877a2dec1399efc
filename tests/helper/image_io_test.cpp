// Tests for decoding photos and frames and writing sheet JPEG files, bad input included.
#include "helper/image_io.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <vector>

#include "tests/helper/test_images.h"

namespace mosalith {
namespace {

using testing::MakeImage;
using testing::Pixels;
using testing::Rgba;

// The smallest GIF: one transparent pixel.
const std::vector<uint8_t> kOnePixelGif = {
    'G',  'I',  'F',  '8',  '9',  'a',  0x01, 0x00, 0x01, 0x00, 0x80, 0x00, 0x00, 0x00, 0x00,
    0x00, 0xFF, 0xFF, 0xFF, 0x21, 0xF9, 0x04, 0x01, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00,
    0x00, 0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};

// A PNG header that promises width_px x height_px and carries no pixel data.
std::vector<uint8_t> PngHeaderOnly(uint32_t width_px, uint32_t height_px) {
  std::optional<ImageBuffer> tiny = ImageBuffer::Filled(1, 1, 0);
  std::vector<uint8_t> png = testing::PngFile(*tiny);
  // IHDR's width and height follow the 8-byte signature and the chunk's length and type.
  for (int i = 0; i < 4; ++i) {
    png[16 + i] = static_cast<uint8_t>(width_px >> (24 - 8 * i));
    png[20 + i] = static_cast<uint8_t>(height_px >> (24 - 8 * i));
  }
  png.resize(33);  // signature and IHDR only: the loader trusts no CRC, so the header alone is believed
  return png;
}

Rgba Gradient(int32_t x, int32_t y) {
  return (static_cast<Rgba>(150 + x) << 24) | (static_cast<Rgba>(90 + y) << 16) | (60u << 8) | 0xFFu;
}

class ImageIoTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_.File(name);
    testing::WriteBytes(path, bytes);
    return path;
  }
  testing::TempDir dir_;
};

TEST_F(ImageIoTest, LosslessFilesArriveAsExactRgba) {
  const ImageBuffer picture = MakeImage(5, 3, [](int32_t x, int32_t y) {
    return (static_cast<Rgba>(x * 50) << 24) | (static_cast<Rgba>(y * 100) << 16) | (77u << 8) |
           static_cast<Rgba>(40 + x * 40);
  });
  std::optional<ImageBuffer> from_png = LoadImage(Write("frame.png", testing::PngFile(picture)), testing::Codec());
  ASSERT_TRUE(from_png);
  EXPECT_EQ(Pixels(*from_png), Pixels(picture));  // transparency survives: frames need it

  std::optional<ImageBuffer> from_bmp = LoadImage(Write("photo.bmp", testing::BmpFile(picture)), testing::Codec());
  ASSERT_TRUE(from_bmp);
  ASSERT_EQ(from_bmp->width(), 5);
  ASSERT_EQ(from_bmp->height(), 3);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(testing::PixelAt(*from_bmp, x, y), testing::PixelAt(picture, x, y) | 0xFF);
  }
}

TEST_F(ImageIoTest, JpegRoundTripKeepsSizeAndColour) {
  const ImageBuffer picture = MakeImage(64, 48, Gradient);
  const std::string path = dir_.File("sheet.jpg");
  ASSERT_TRUE(WriteJpeg(picture, path, 90, testing::Codec()));
  std::optional<ImageBuffer> loaded = LoadImage(path, testing::Codec());
  ASSERT_TRUE(loaded);
  ASSERT_EQ(loaded->width(), 64);
  ASSERT_EQ(loaded->height(), 48);
  double sum_in[3] = {}, sum_out[3] = {};
  for (int32_t y = 0; y < 48; ++y) {
    for (int32_t x = 0; x < 64; ++x) {
      for (int c = 0; c < 3; ++c) {
        sum_in[c] += picture.pixel(x, y)[c];
        sum_out[c] += loaded->pixel(x, y)[c];
      }
      EXPECT_EQ(loaded->pixel(x, y)[3], 255);
    }
  }
  for (int c = 0; c < 3; ++c) EXPECT_NEAR(sum_out[c] / (64 * 48), sum_in[c] / (64 * 48), 3.0) << "channel " << c;
}

TEST_F(ImageIoTest, QualityZeroMeansNinetyAndOthersAreLimited) {
  const ImageBuffer picture = MakeImage(40, 30, Gradient);
  auto encode = [&](int quality) {
    const std::string path = dir_.File("q" + std::to_string(quality) + ".jpg");
    EXPECT_TRUE(WriteJpeg(picture, path, quality, testing::Codec()));
    return testing::ReadBytes(path);
  };
  EXPECT_EQ(encode(0), encode(90));
  EXPECT_EQ(encode(250), encode(100));
  EXPECT_EQ(encode(-3), encode(1));
  EXPECT_NE(encode(1), encode(100));
}

TEST_F(ImageIoTest, NonAsciiPathsWork) {
  const std::string path = dir_.File("Ünïcödé фото 写真.jpg");
  ASSERT_TRUE(WriteJpeg(MakeImage(8, 8, Gradient), path, 80, testing::Codec()));
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path)));
  EXPECT_TRUE(LoadImage(path, testing::Codec()));
}

TEST_F(ImageIoTest, WriteFailuresAreReported) {
  const ImageBuffer picture = MakeImage(16, 16, Gradient);
  EXPECT_FALSE(WriteJpeg(picture, dir_.File("no-such-folder/sheet.jpg"), 90, testing::Codec()));
  EXPECT_FALSE(WriteJpeg(ImageBuffer(), dir_.File("empty.jpg"), 90, testing::Codec()));
  if (std::filesystem::exists("/dev/full")) {
    // Opening succeeds, every write fails: the encoder's success alone must not count.
    EXPECT_FALSE(WriteJpeg(picture, "/dev/full", 90, testing::Codec()));
  }
}

TEST_F(ImageIoTest, UnreadableOrUnsupportedFilesGiveNothing) {
  EXPECT_FALSE(LoadImage(dir_.File("absent.jpg"), testing::Codec()));
  EXPECT_FALSE(LoadImage(Write("empty.jpg", {}), testing::Codec()));
  EXPECT_FALSE(LoadImage(Write("noise.jpg", std::vector<uint8_t>(4096, 0x5A)), testing::Codec()));
  EXPECT_FALSE(LoadImage(Write("one.gif", kOnePixelGif), testing::Codec()));  // the GIF loader is not built

  std::vector<uint8_t> png = testing::PngFile(MakeImage(20, 20, Gradient));
  png.resize(png.size() / 2);
  EXPECT_FALSE(LoadImage(Write("half.png", png), testing::Codec()));
}

TEST_F(ImageIoTest, TruncatedJpegsFailCleanlyOrKeepTheirSize) {
  const std::string whole = dir_.File("whole.jpg");
  ASSERT_TRUE(WriteJpeg(MakeImage(64, 64, Gradient), whole, 90, testing::Codec()));
  const std::vector<uint8_t> bytes = testing::ReadBytes(whole);
  for (size_t size : {size_t{2}, size_t{20}, size_t{150}, size_t{400}}) {
    EXPECT_FALSE(LoadImage(Write("head.jpg", std::vector<uint8_t>(bytes.begin(), bytes.begin() + size)), testing::Codec()))
        << "cut at " << size;
  }
  // Cut inside the entropy-coded data the decoder may fill the rest; it must never crash or lie about size.
  std::optional<ImageBuffer> cut =
      LoadImage(Write("cut.jpg", std::vector<uint8_t>(bytes.begin(), bytes.begin() + bytes.size() * 2 / 3)), testing::Codec());
  if (cut) {
    EXPECT_EQ(cut->width(), 64);
    EXPECT_EQ(cut->height(), 64);
  }
}

TEST_F(ImageIoTest, LongPanoramasLoad) {
  const ImageBuffer strip = MakeImage(40000, 2, [](int32_t x, int32_t) { return x == 39999 ? 0x00FF00FFu : 0x808080FFu; });
  std::optional<ImageBuffer> loaded = LoadImage(Write("pano.bmp", testing::BmpFile(strip)), testing::Codec());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->width(), 40000);
  EXPECT_EQ(testing::PixelAt(*loaded, 39999, 1), 0x00FF00FFu);
}

TEST_F(ImageIoTest, HuffmanTablesWithTooManyCodesAreRefused) {
  const std::string whole = dir_.File("whole.jpg");
  ASSERT_TRUE(WriteJpeg(MakeImage(16, 16, Gradient), whole, 90, testing::Codec()));
  // An extra table that the scan never uses (AC table 3) declaring 2 x 255 codes: valid code lengths,
  // but more codes than any Huffman table holds. Decoding would write past the decoder's tables and
  // still produce a picture; the file must be refused instead.
  std::vector<uint8_t> table = {0xFF, 0xC4, 0x02, 0x11, 0x13};  // length 2 + 17 + 510, class 1 table 3
  table.resize(table.size() + 14, 0);
  table.insert(table.end(), {255, 255});
  table.resize(table.size() + 510, 0);
  EXPECT_FALSE(LoadImage(Write("overfull.jpg", testing::InsertAfterStart(testing::ReadBytes(whole), table)), testing::Codec()));
}

TEST_F(ImageIoTest, HeadersPromisingTooManyPixelsAreRefused) {
  // 20000 x 15000 is within the per-side limit but 300 megapixels, above the budget.
  static_assert(int64_t{20000} * 15000 > kMaxDecodePixels);
  static_assert(int64_t{16384} * 12288 <= kMaxDecodePixels, "a 200-megapixel photo must stay loadable");
  EXPECT_FALSE(LoadImage(Write("bomb.png", PngHeaderOnly(20000, 15000)), testing::Codec()));
  EXPECT_FALSE(LoadImage(Write("wide.png", PngHeaderOnly(1u << 20, 1)), testing::Codec()));
  EXPECT_FALSE(LoadImage(Write("huge.png", PngHeaderOnly(0xFFFFFFFFu, 0xFFFFFFFFu)), testing::Codec()));
}

}  // namespace
}  // namespace mosalith
