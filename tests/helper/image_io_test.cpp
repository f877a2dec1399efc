// Tests for decoding photos and frames and writing sheet JPEG files, bad input included.
#include "helper/image_io.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <filesystem>
#include <vector>

#include "tests/helper/not_a_file.h"
#include "tests/helper/test_images.h"
#include "tests/support/temp_folder.h"

namespace mosalith {
namespace {

using testing::LoadImage;
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
  std::optional<imaging::Bitmap> tiny = imaging::MakeBitmap(1, 1, 0);
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

// Why LoadPicture refused the file; empty when it did not.
std::string Reason(const std::string& path) {
  base::StatusOr<Picture> picture = LoadPicture(path, testing::Codec());
  return picture.ok() ? std::string() : picture.status().message();
}

class ImageIoTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_.File(name);
    test_support::WriteBytes(path, bytes);
    return path;
  }
  test_support::TempFolder dir_;
};

TEST_F(ImageIoTest, LosslessFilesArriveAsExactRgba) {
  const imaging::Bitmap picture = MakeImage(5, 3, [](int32_t x, int32_t y) {
    return (static_cast<Rgba>(x * 50) << 24) | (static_cast<Rgba>(y * 100) << 16) | (77u << 8) |
           static_cast<Rgba>(40 + x * 40);
  });
  std::optional<imaging::Bitmap> from_png = LoadImage(Write("frame.png", testing::PngFile(picture)), testing::Codec());
  ASSERT_TRUE(from_png);
  EXPECT_EQ(Pixels(*from_png), Pixels(picture));  // transparency survives: frames need it

  std::optional<imaging::Bitmap> from_bmp = LoadImage(Write("photo.bmp", testing::BmpFile(picture)), testing::Codec());
  ASSERT_TRUE(from_bmp);
  ASSERT_EQ(from_bmp->width_px, 5);
  ASSERT_EQ(from_bmp->height_px, 3);
  for (int32_t y = 0; y < 3; ++y) {
    for (int32_t x = 0; x < 5; ++x) EXPECT_EQ(testing::PixelAt(*from_bmp, x, y), testing::PixelAt(picture, x, y) | 0xFF);
  }
}

TEST_F(ImageIoTest, JpegRoundTripKeepsSizeAndColour) {
  const imaging::Bitmap picture = MakeImage(64, 48, Gradient);
  const std::string path = dir_.File("sheet.jpg");
  ASSERT_TRUE(WriteJpeg(picture, path, 90, testing::Codec()));
  std::optional<imaging::Bitmap> loaded = LoadImage(path, testing::Codec());
  ASSERT_TRUE(loaded);
  ASSERT_EQ(loaded->width_px, 64);
  ASSERT_EQ(loaded->height_px, 48);
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
  const imaging::Bitmap picture = MakeImage(40, 30, Gradient);
  auto encode = [&](int quality) {
    const std::string path = dir_.File("q" + std::to_string(quality) + ".jpg");
    EXPECT_TRUE(WriteJpeg(picture, path, quality, testing::Codec()));
    return test_support::ReadBytes(path);
  };
  EXPECT_EQ(encode(0), encode(90));
  EXPECT_EQ(encode(250), encode(100));
  EXPECT_EQ(encode(-3), encode(1));
  EXPECT_NE(encode(1), encode(100));
}

TEST_F(ImageIoTest, SheetsStateTheirDensityInDotsPerInchWithTheSamePixels) {
  const imaging::Bitmap picture = MakeImage(40, 30, Gradient);
  const std::string plain = dir_.File("plain.jpg");
  const std::string dense = dir_.File("dense.jpg");
  ASSERT_TRUE(WriteJpeg(picture, plain, 90, testing::Codec()));
  ASSERT_TRUE(WriteJpeg(picture, dense, 90, testing::Codec(), 300));
  std::vector<uint8_t> plain_bytes = test_support::ReadBytes(plain);
  const std::vector<uint8_t> dense_bytes = test_support::ReadBytes(dense);
  ASSERT_GE(dense_bytes.size(), 18u);
  // JFIF: units at 13 (0 none, 1 dots per inch), then the densities across and down, big-endian.
  EXPECT_EQ(std::vector<uint8_t>(plain_bytes.begin() + 13, plain_bytes.begin() + 18),
            (std::vector<uint8_t>{0, 0, 1, 0, 1}));
  EXPECT_EQ(std::vector<uint8_t>(dense_bytes.begin() + 13, dense_bytes.begin() + 18),
            (std::vector<uint8_t>{1, 0x01, 0x2C, 0x01, 0x2C}));
  // Nothing else changes: the same bytes once the density is put back.
  std::copy(dense_bytes.begin() + 13, dense_bytes.begin() + 18, plain_bytes.begin() + 13);
  EXPECT_EQ(plain_bytes, dense_bytes);
  // A density the file cannot hold leaves the aspect ratio of 1:1.
  ASSERT_TRUE(WriteJpeg(picture, dense, 90, testing::Codec(), 70000));
  EXPECT_EQ(test_support::ReadBytes(dense)[13], 0);
}

TEST_F(ImageIoTest, NonAsciiPathsWork) {
  const std::string name = "Ünïcödé фото 写真 😀.jpg";
  const std::string path = dir_.File(name);
  ASSERT_TRUE(WriteJpeg(MakeImage(8, 8, Gradient), path, 80, testing::Codec()));
  EXPECT_TRUE(LoadImage(path, testing::Codec()));
  // The file bears exactly that name, not its UTF-8 bytes read in some other encoding.
  const std::filesystem::path folder = test_support::PathFromUtf8(path).parent_path();
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    names.push_back(test_support::Utf8(entry.path().filename()));
  }
  EXPECT_EQ(names, std::vector<std::string>{name});
}

TEST_F(ImageIoTest, WriteFailuresAreReported) {
  const imaging::Bitmap picture = MakeImage(16, 16, Gradient);
  EXPECT_FALSE(WriteJpeg(picture, dir_.File("no-such-folder/sheet.jpg"), 90, testing::Codec()));
  EXPECT_FALSE(WriteJpeg(imaging::Bitmap(), dir_.File("empty.jpg"), 90, testing::Codec()));
  if (std::filesystem::exists("/dev/full")) {
    // A device, not a regular file: refused (and were it opened, every write would fail).
    EXPECT_FALSE(WriteJpeg(picture, "/dev/full", 90, testing::Codec()));
  }
}

TEST_F(ImageIoTest, LongOutputNamesAreWritten) {
  // Names up to the usual 255-byte limit are written: the temporary name beside them is short.
  const std::string longest = dir_.File(std::string(251, 'l') + ".jpg");
  EXPECT_TRUE(WriteJpeg(MakeImage(8, 8, Gradient), longest, 90, testing::Codec()));
  EXPECT_TRUE(LoadImage(longest, testing::Codec()));
  size_t names = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(test_support::PathFromUtf8(dir_.File("")))) {
    ++names;
  }
  EXPECT_EQ(names, 1u);
}

TEST_F(ImageIoTest, UnreadableOrUnsupportedFilesAreRefusedWithTheirReason) {
  EXPECT_EQ(Reason(dir_.File("absent.jpg")), "file not found");
  EXPECT_EQ(Reason(Write("empty.jpg", {})), "unknown format");
  EXPECT_EQ(Reason(Write("noise.jpg", std::vector<uint8_t>(4096, 0x5A))), "unknown format");
  EXPECT_EQ(Reason(Write("one.gif", kOnePixelGif)), "unsupported format GIF");

  // A cut file is damaged data, and sheets refuse damaged pictures.
  std::vector<uint8_t> png = testing::PngFile(MakeImage(20, 20, Gradient));
  png.resize(png.size() / 2);
  EXPECT_EQ(Reason(Write("half.png", png)), "damaged data");
}

TEST_F(ImageIoTest, TruncatedJpegsFailCleanlyOrKeepTheirSize) {
  const std::string whole = dir_.File("whole.jpg");
  ASSERT_TRUE(WriteJpeg(MakeImage(64, 64, Gradient), whole, 90, testing::Codec()));
  const std::vector<uint8_t> bytes = test_support::ReadBytes(whole);
  for (size_t size : {size_t{2}, size_t{20}, size_t{150}, size_t{400}}) {
    EXPECT_FALSE(LoadImage(Write("head.jpg", std::vector<uint8_t>(bytes.begin(), bytes.begin() + size)), testing::Codec()))
        << "cut at " << size;
  }
  // Cut inside the entropy-coded data, or with damaged data: a sheet refuses it (a magnet printed half
  // grey is a wasted magnet). Missing only its end marker, every pixel is there.
  EXPECT_EQ(Reason(Write("no-end.jpg", std::vector<uint8_t>(bytes.begin(), bytes.end() - 2))), "");
  for (size_t keep : {bytes.size() / 2, bytes.size() * 2 / 3}) {
    const std::string path = Write("damaged.jpg", std::vector<uint8_t>(bytes.begin(), bytes.begin() + keep));
    EXPECT_EQ(Reason(path), "damaged data") << "cut at " << keep;
  }
  std::vector<uint8_t> corrupt = bytes;
  for (size_t at = corrupt.size() / 2; at < corrupt.size() / 2 + 8; ++at) corrupt[at] = 0xA5;
  EXPECT_EQ(Reason(Write("corrupt.jpg", corrupt)), "damaged data");
  EXPECT_TRUE(LoadImage(whole, testing::Codec()));  // a failed file leaves the codec fit for the next
}

TEST_F(ImageIoTest, LongPanoramasLoad) {
  const imaging::Bitmap strip = MakeImage(40000, 2, [](int32_t x, int32_t) { return x == 39999 ? 0x00FF00FFu : 0x808080FFu; });
  std::optional<imaging::Bitmap> loaded = LoadImage(Write("pano.bmp", testing::BmpFile(strip)), testing::Codec());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->width_px, 40000);
  EXPECT_EQ(testing::PixelAt(*loaded, 39999, 1), 0x00FF00FFu);
}

TEST_F(ImageIoTest, HeadersPromisingTooManyPixelsAreRefused) {
  // 20000 x 15000 is within the per-side limit but 300 megapixels, above the budget.
  static_assert(int64_t{20000} * 15000 > imaging::kMaxPixels);
  static_assert(int64_t{16384} * 12288 <= imaging::kMaxPixels, "a 200-megapixel photo must stay loadable");
  EXPECT_FALSE(LoadImage(Write("bomb.png", PngHeaderOnly(20000, 15000)), testing::Codec()));
  EXPECT_FALSE(LoadImage(Write("wide.png", PngHeaderOnly(1u << 20, 1)), testing::Codec()));
  EXPECT_FALSE(LoadImage(Write("huge.png", PngHeaderOnly(0xFFFFFFFFu, 0xFFFFFFFFu)), testing::Codec()));
}

// The offset of the first marker `marker` (FF xx) at or after `from`, or the size when there is none.
size_t FindMarker(const std::vector<uint8_t>& jpeg, uint8_t marker, size_t from = 2) {
  for (size_t i = from; i + 1 < jpeg.size(); ++i) {
    if (jpeg[i] == 0xFF && jpeg[i + 1] == marker) return i;
  }
  return jpeg.size();
}

TEST_F(ImageIoTest, FramesOtherThanHuffmanCodedAreRefused) {
  const std::string path = dir_.File("plain.jpg");
  ASSERT_TRUE(WriteJpeg(MakeImage(16, 16, Gradient), path, 90, testing::Codec()));
  std::vector<uint8_t> bytes = test_support::ReadBytes(path);
  const size_t frame = FindMarker(bytes, 0xC0);
  ASSERT_LT(frame, bytes.size());
  for (uint8_t marker : {0xC3, 0xC7}) {  // lossless, differential lossless
    bytes[frame + 1] = marker;
    EXPECT_FALSE(LoadImage(Write("frame.jpg", bytes), testing::Codec())) << int{marker};
  }
}

TEST_F(ImageIoTest, OnlyRegularFilesAreOpened) {
  const testing::BlockingSpecialFile special(dir_, "photo.jpg");
  const std::string& fifo = special.path();
  // Opening a FIFO that nobody writes would wait for ever; it is refused at once, for reading and writing.
  EXPECT_FALSE(LoadImage(fifo, testing::Codec()));
  EXPECT_FALSE(WriteJpeg(MakeImage(8, 8, Gradient), fifo, 90, testing::Codec()));
  EXPECT_FALSE(LoadImage(dir_.File(""), testing::Codec()));  // the folder itself
  EXPECT_FALSE(WriteJpeg(MakeImage(8, 8, Gradient), dir_.File(""), 90, testing::Codec()));
}

TEST_F(ImageIoTest, ScaledDecodeCoversWhatIsNeededAndKeepsTheStoredSize) {
  const imaging::Bitmap picture = MakeImage(160, 120, Gradient);
  const std::string path = dir_.File("photo.jpg");
  ASSERT_TRUE(WriteJpeg(picture, path, 95, testing::Codec()));
  const std::string turned = Write("turned.jpg", testing::InsertAfterStart(test_support::ReadBytes(path),
                                                                           testing::ExifSegment(true, 6)));
  const bool fast = true;
  struct Case {
    double need;
    int32_t width, height;  // decoded on the fast path
  };
  for (const Case& c : {Case{0.3, 60, 45}, Case{0.25, 40, 30}, Case{0.01, 20, 15}, Case{1.0, 160, 120},
                        Case{3.0, 160, 120}}) {
    int32_t asked_width = 0, asked_height = 0;
    base::StatusOr<Picture> loaded = LoadPicture(turned, testing::Codec(), [&](int32_t w, int32_t h) {
      asked_width = w, asked_height = h;
      return c.need;
    });
    ASSERT_TRUE(loaded.ok()) << c.need;
    EXPECT_EQ(loaded->stored_width_px, 160);
    EXPECT_EQ(loaded->stored_height_px, 120);
    EXPECT_EQ(loaded->orientation, 6);
    EXPECT_EQ(loaded->pixels.width_px, fast ? c.width : 160) << c.need;
    EXPECT_EQ(loaded->pixels.height_px, fast ? c.height : 120) << c.need;
    if (fast) {
      EXPECT_EQ(asked_width, 120);  // the need sees the upright picture
      EXPECT_EQ(asked_height, 160);
    }
    // Any scale shows the same picture: the centre pixel keeps its colour.
    const uint8_t* centre = loaded->pixels.pixel(loaded->pixels.width_px / 2, loaded->pixels.height_px / 2);
    const uint8_t* expected = picture.pixel(80, 60);
    for (int ch = 0; ch < 3; ++ch) EXPECT_NEAR(centre[ch], expected[ch], 6) << c.need << " channel " << ch;
  }
}

TEST_F(ImageIoTest, CmykJpegsDecodeToTheirVisibleColours) {
  const imaging::Bitmap picture = MakeImage(32, 24, [](int32_t x, int32_t y) {
    return (static_cast<Rgba>(x * 8) << 24) | (static_cast<Rgba>(y * 10) << 16) | (120u << 8) | 40u;
  });
  const std::string path = Write("cmyk.jpg", testing::CmykJpegFile(picture));
  std::optional<imaging::Bitmap> loaded = LoadImage(path, testing::Codec());
  ASSERT_TRUE(loaded);
  EXPECT_EQ(loaded->width_px, 32);
  EXPECT_EQ(loaded->height_px, 24);
  // Stored inverted, as print workflows store CMYK: the visible colour is C * K / 255.
  const uint8_t* p = loaded->pixel(16, 12);
  EXPECT_NEAR(p[0], 128 * 40 / 255, 6);
  EXPECT_NEAR(p[2], 120 * 40 / 255, 6);
  EXPECT_EQ(p[3], 255);
}

TEST_F(ImageIoTest, TheEncoderKeepsChromaWholeOnlyAboveNinety) {
  // Fine colour detail: alternating red and blue columns. Above quality 90 chroma is kept whole, so
  // neighbouring columns stay apart; at 90 it is halved and they blur together.
  const imaging::Bitmap stripes =
      MakeImage(32, 32, [](int32_t x, int32_t) { return x % 2 ? Rgba{0xFF0000FF} : Rgba{0x0000FFFF}; });
  auto red_gap = [&](int quality) {
    const std::string path = dir_.File("stripes" + std::to_string(quality) + ".jpg");
    EXPECT_TRUE(WriteJpeg(stripes, path, quality, testing::Codec()));
    std::optional<imaging::Bitmap> loaded = LoadImage(path, testing::Codec());
    EXPECT_TRUE(loaded);
    return loaded ? std::abs(loaded->pixel(15, 16)[0] - loaded->pixel(16, 16)[0]) : 0;
  };
  EXPECT_GT(red_gap(95), 150);
  EXPECT_LT(red_gap(90), 150);
}

}  // namespace
}  // namespace mosalith
