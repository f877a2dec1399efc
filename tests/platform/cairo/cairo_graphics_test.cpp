// Tests for CairoGraphics on this machine's cairo, libjpeg-turbo, libpng and libexif.
#include "platform/cairo/cairo_graphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include <png.h>
#include <sys/stat.h>

#include "platform/fake/fake_graphics.h"
#include "imaging/reduce.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

constexpr uint32_t kWhite = 0xFFFFFFFF;
constexpr uint32_t kBlack = 0xFF000000;

// A PNG written by libpng itself with any layout: `rows` hold the samples as the file stores them
// (16-bit samples big-endian). `palette` (RGB triples) and `transparency` are written when not empty.
std::vector<uint8_t> RawPng(int width, int height, int depth, int colour, bool interlaced,
                            const std::vector<std::vector<uint8_t>>& rows, const std::vector<uint8_t>& palette = {},
                            const std::vector<uint8_t>& transparency = {}) {
  std::vector<uint8_t> out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(
      png, &out,
      [](png_structp p, png_bytep data, size_t length) {
        auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        bytes->insert(bytes->end(), data, data + length);
      },
      nullptr);
  png_set_IHDR(png, info, width, height, depth, colour, interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  std::vector<png_color> entries;
  for (size_t i = 0; i + 2 < palette.size(); i += 3) entries.push_back({palette[i], palette[i + 1], palette[i + 2]});
  if (!entries.empty()) png_set_PLTE(png, info, entries.data(), static_cast<int>(entries.size()));
  if (!transparency.empty()) {
    png_set_tRNS(png, info, const_cast<png_bytep>(transparency.data()), static_cast<int>(transparency.size()), nullptr);
  }
  png_write_info(png, info);
  std::vector<png_bytep> pointers;
  for (const auto& row : rows) pointers.push_back(const_cast<png_bytep>(row.data()));
  png_write_image(png, pointers.data());
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

class CairoGraphicsTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    return path;
  }

  std::vector<uint8_t> Jpeg(const imaging::Bitmap& image, int quality = 95) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(graphics_.EncodeJpeg(image, quality, &bytes), GraphicsStatus::kOk);
    return bytes;
  }

  CairoGraphics graphics_;
  test_support::TempFolder temp_{"cairo_graphics_test"};
  const std::string folder_ = temp_.str();
};

// An APP1 segment holding one IFD0 entry, the orientation, in either byte order.
std::vector<uint8_t> ExifSegment(int orientation, bool little_endian) {
  auto u16 = [&](std::vector<uint8_t>& v, int x) {
    if (little_endian) {
      v.push_back(uint8_t(x)), v.push_back(uint8_t(x >> 8));
    } else {
      v.push_back(uint8_t(x >> 8)), v.push_back(uint8_t(x));
    }
  };
  auto u32 = [&](std::vector<uint8_t>& v, uint32_t x) {
    if (little_endian) {
      u16(v, x & 0xFFFF), u16(v, x >> 16);
    } else {
      u16(v, x >> 16), u16(v, x & 0xFFFF);
    }
  };
  std::vector<uint8_t> tiff = little_endian ? std::vector<uint8_t>{'I', 'I'} : std::vector<uint8_t>{'M', 'M'};
  u16(tiff, 42);
  u32(tiff, 8);
  u16(tiff, 1);           // one entry
  u16(tiff, 0x0112);      // orientation
  u16(tiff, 3);           // SHORT
  u32(tiff, 1);           // one value
  u16(tiff, orientation);
  u16(tiff, 0);
  u32(tiff, 0);           // no next directory
  std::vector<uint8_t> segment = {0xFF, 0xE1};
  const size_t length = 2 + 6 + tiff.size();
  segment.push_back(uint8_t(length >> 8));
  segment.push_back(uint8_t(length));
  for (char c : std::string("Exif\0\0", 6)) segment.push_back(uint8_t(c));
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

std::vector<uint8_t> WithExif(std::vector<uint8_t> jpeg, int orientation, bool little_endian) {
  const auto segment = ExifSegment(orientation, little_endian);
  jpeg.insert(jpeg.begin() + 2, segment.begin(), segment.end());
  return jpeg;
}

TEST_F(CairoGraphicsTest, JpegRoundTripKeepsSizeAndColourAndEncodesDeterministically) {
  const imaging::Bitmap orange = *imaging::MakeBitmap(64, 48, 0xFFFF8000);
  const auto bytes = Jpeg(orange);
  EXPECT_EQ(Jpeg(orange), bytes);
  const std::string path = Write("orange.jpg", bytes);
  ImageInfo info;
  ASSERT_EQ(graphics_.ReadInfo(path, &info), GraphicsStatus::kOk);
  EXPECT_EQ(info.format, ImageFormat::kJpeg);
  EXPECT_EQ(info.width_px, 64);
  EXPECT_EQ(info.height_px, 48);
  EXPECT_EQ(info.orientation, 1);
  DecodedImage decoded;
  ASSERT_EQ(graphics_.Decode(path, {}, &decoded), GraphicsStatus::kOk);
  ASSERT_EQ(decoded.bitmap.width_px, 64);
  ASSERT_EQ(decoded.bitmap.height_px, 48);
  const uint8_t* p = decoded.bitmap.pixel(30, 20);
  EXPECT_NEAR(p[0], 255, 3);
  EXPECT_NEAR(p[1], 128, 3);
  EXPECT_NEAR(p[2], 0, 3);
  EXPECT_EQ(p[3], 255);
  // Quality outside 1..100 is the caller's fault, not clamped here.
  std::vector<uint8_t> unused;
  EXPECT_EQ(graphics_.EncodeJpeg(orange, 0, &unused), GraphicsStatus::kInvalidArgument);
  EXPECT_EQ(graphics_.EncodeJpeg(orange, 101, &unused), GraphicsStatus::kInvalidArgument);
}

TEST_F(CairoGraphicsTest, AJpegEncodedWithADensityStatesItsResolutionWithTheSamePixels) {
  const imaging::Bitmap orange = *imaging::MakeBitmap(64, 48, 0xFFFF8000);
  std::vector<uint8_t> dense;
  ASSERT_EQ(graphics_.EncodeJpeg(orange, 90, &dense, 300), GraphicsStatus::kOk);
  ImageInfo info;
  ASSERT_EQ(graphics_.ReadInfo(Write("dense.jpg", dense), &info), GraphicsStatus::kOk);
  ASSERT_TRUE(info.resolution);
  EXPECT_DOUBLE_EQ(info.resolution->x_dpi, 300);
  EXPECT_DOUBLE_EQ(info.resolution->y_dpi, 300);
  std::vector<uint8_t> plain = Jpeg(orange, 90);
  ASSERT_EQ(graphics_.ReadInfo(Write("plain.jpg", plain), &info), GraphicsStatus::kOk);
  EXPECT_FALSE(info.resolution);  // 1:1 without units states none
  // Only the density differs.
  std::copy(dense.begin() + 13, dense.begin() + 18, plain.begin() + 13);
  EXPECT_EQ(plain, dense);
}

TEST_F(CairoGraphicsTest, ReducedDecodeKeepsTwiceTheMinimumAndJpegsForPaperAreDecodedWhole) {
  const std::string path = Write("big.jpg", Jpeg(*imaging::MakeBitmap(800, 600, 0xFF336699), 80));
  struct Case {
    int min_w, min_h, show_w, show_h, print_w, print_h;
  } cases[] = {
      // shown: the smallest eighth scale keeping twice the minimum; for paper: decoded whole, the rows
      // reduced by the largest whole factor keeping twice the minimum
      {150, 100, 300, 225, 400, 300},
      {100, 75, 100, 75, 200, 150},    // at most an eighth: the eighth scale
      {101, 10, 300, 225, 267, 200},   // one pixel more than an eighth in one direction
      {350, 10, 700, 525, 800, 600},   // 7/8 keeps twice exactly
      {351, 10, 800, 600, 800, 600},   // nothing smaller keeps twice: full size, never enlarged
      {0, 100, 800, 600, 800, 600},    // no reduction asked
  };
  for (const Case& c : cases) {
    for (imaging::DecodePurpose purpose : {imaging::DecodePurpose::kShow, imaging::DecodePurpose::kPrint}) {
      DecodeOptions options;
      options.min_width_px = c.min_w;
      options.min_height_px = c.min_h;
      options.purpose = purpose;
      DecodedImage decoded;
      ASSERT_EQ(graphics_.Decode(path, options, &decoded), GraphicsStatus::kOk);
      const bool show = purpose == imaging::DecodePurpose::kShow;
      EXPECT_EQ(decoded.bitmap.width_px, show ? c.show_w : c.print_w) << c.min_w << "x" << c.min_h << " " << show;
      EXPECT_EQ(decoded.bitmap.height_px, show ? c.show_h : c.print_h) << c.min_w << "x" << c.min_h << " " << show;
      EXPECT_EQ(decoded.info.width_px, 800);  // the stored size stays the file's
    }
  }
}

TEST_F(CairoGraphicsTest, OrientationIsReadInBothByteOrdersAndOutOfRangeValuesAreOne) {
  const auto plain = Jpeg(*imaging::MakeBitmap(8, 8, kWhite));
  for (bool little : {true, false}) {
    ImageInfo info;
    ASSERT_EQ(graphics_.ReadInfo(Write("six.jpg", WithExif(plain, 6, little)), &info), GraphicsStatus::kOk);
    EXPECT_EQ(info.orientation, 6) << little;
    ASSERT_EQ(graphics_.ReadInfo(Write("nine.jpg", WithExif(plain, 9, little)), &info), GraphicsStatus::kOk);
    EXPECT_EQ(info.orientation, 1) << little;
  }
  DecodedImage decoded;
  ASSERT_EQ(graphics_.Decode(Write("three.jpg", WithExif(plain, 3, true)), {}, &decoded), GraphicsStatus::kOk);
  EXPECT_EQ(decoded.info.orientation, 3);
}

TEST_F(CairoGraphicsTest, PngRoundTripIsExactWithAlpha) {
  imaging::Bitmap image = *imaging::MakeBitmap(5, 3, 0x80FF0000);
  image.pixel(4, 2)[1] = 200;
  std::vector<uint8_t> bytes;
  ASSERT_EQ(graphics_.EncodePng(image, &bytes), GraphicsStatus::kOk);
  ASSERT_GT(bytes.size(), 26u);
  EXPECT_EQ(bytes[25], 6);  // colour type: RGBA
  DecodedImage decoded;
  ASSERT_EQ(graphics_.Decode(Write("a.png", bytes), {}, &decoded), GraphicsStatus::kOk);
  EXPECT_EQ(decoded.info.format, ImageFormat::kPng);
  EXPECT_EQ(decoded.bitmap.width_px, 5);
  EXPECT_EQ(decoded.bitmap.rgba, image.rgba);
  // A size the picture cannot be reduced to by a whole factor decodes it whole.
  ASSERT_EQ(graphics_.Decode(Write("a.png", bytes), {3, 2}, &decoded), GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.rgba, image.rgba);
}

TEST_F(CairoGraphicsTest, PngIsReducedByWholeFactorsAsItDecodesWeightedByAlpha) {
  // 7 x 5 asked for at least 1 x 1: twice that is kept by a factor of 2, so 4 x 3 pixels, the one
  // reduction of the whole picture.
  imaging::Bitmap image = *imaging::MakeBitmap(7, 5, 0xFF000000);
  for (int y = 0; y < 3; ++y) image.pixel(0, y)[0] = 90;
  // Opaque white beside transparent red.
  for (int y = 0; y < 3; ++y) {
    for (int x = 3; x < 6; ++x) {
      uint8_t* p = image.pixel(x, y);
      if (x == 3) {
        p[0] = p[1] = p[2] = p[3] = 255;
      } else {
        p[0] = 255, p[1] = p[2] = p[3] = 0;
      }
    }
  }
  for (int y = 3; y < 5; ++y) image.pixel(6, y)[2] = 200;
  std::vector<uint8_t> bytes;
  ASSERT_EQ(graphics_.EncodePng(image, &bytes), GraphicsStatus::kOk);
  DecodedImage decoded;
  ASSERT_EQ(graphics_.Decode(Write("blocks.png", bytes), {1, 1}, &decoded), GraphicsStatus::kOk);
  EXPECT_EQ(decoded.info.width_px, 7);  // the stored size stays the file's
  ASSERT_EQ(decoded.bitmap.width_px, 4);
  ASSERT_EQ(decoded.bitmap.height_px, 3);
  EXPECT_EQ(decoded.bitmap.rgba, imaging::ReduceBitmap(image, 4, 3)->rgba);
  // The same picture with its transparent pixels black instead of red reduces to the same pixels.
  imaging::Bitmap black = image;
  for (int y = 0; y < 3; ++y) black.pixel(4, y)[0] = black.pixel(5, y)[0] = 0;
  EXPECT_EQ(decoded.bitmap.rgba, imaging::ReduceBitmap(black, 4, 3)->rgba);
  // A reduced picture of a real size: every side keeps twice what was asked.
  ASSERT_EQ(graphics_.EncodePng(*imaging::MakeBitmap(1000, 700, 0xFF336699), &bytes), GraphicsStatus::kOk);
  ASSERT_EQ(graphics_.Decode(Write("big.png", bytes), {150, 50}, &decoded), GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.width_px, 334);  // factor 3
  EXPECT_EQ(decoded.bitmap.height_px, 234);
  EXPECT_EQ(decoded.bitmap.pixel(200, 200)[2], 0x99);
  // Corrupt data after a sound header fails cleanly on the reduced path too.
  bytes.resize(bytes.size() / 2);
  EXPECT_EQ(graphics_.Decode(Write("cut.png", bytes), {150, 50}, &decoded), GraphicsStatus::kCorrupt);
}

TEST_F(CairoGraphicsTest, PixelsDrawOnTheMemoryBudgetAndMoreThanAllOfItIsRefusedLikeAnOversizedPicture) {
  imaging::MemoryBudget budget(1 << 20);
  CairoGraphics graphics(&budget);
  const std::string jpeg = Write("big.jpg", Jpeg(*imaging::MakeBitmap(800, 600, 0xFF336699), 80));
  std::vector<uint8_t> png;
  ASSERT_EQ(graphics_.EncodePng(*imaging::MakeBitmap(800, 600, 0xFF336699), &png), GraphicsStatus::kOk);
  const std::string png_path = Write("big.png", png);
  DecodedImage decoded;
  // 800 x 600 x 4 bytes is more than the whole budget: refused as a picture over the limits is.
  EXPECT_EQ(graphics.Decode(jpeg, {}, &decoded), GraphicsStatus::kInvalidArgument);
  EXPECT_EQ(graphics.Decode(png_path, {}, &decoded), GraphicsStatus::kInvalidArgument);
  GraphicsStatus status = GraphicsStatus::kOk;
  EXPECT_EQ(graphics.CreateCanvas(1000, 1000, &status), nullptr);
  EXPECT_EQ(status, GraphicsStatus::kInvalidArgument);
  // Reduced (to 200 x 150, twice what is asked), both fit; what they hold is counted until released.
  ASSERT_EQ(graphics.Decode(jpeg, {100, 75}, &decoded), GraphicsStatus::kOk);
  EXPECT_EQ(budget.in_use_bytes(), 200u * 150 * 4);
  DecodedImage small_png;
  ASSERT_EQ(graphics.Decode(png_path, {100, 75}, &small_png), GraphicsStatus::kOk);
  EXPECT_EQ(budget.in_use_bytes(), 2 * 200u * 150 * 4);
  {
    auto canvas = graphics.CreateCanvas(100, 100);
    ASSERT_NE(canvas, nullptr);
    ASSERT_EQ(canvas->DrawBitmap(small_png.bitmap, {0, 0, 100, 100}, Filter::kBilinear), GraphicsStatus::kOk);
    std::optional<imaging::Bitmap> snapshot = canvas->Snapshot();
    ASSERT_TRUE(snapshot);
    EXPECT_EQ(budget.in_use_bytes(), 2 * 200u * 150 * 4 + 2 * 100u * 100 * 4);
  }
  decoded = DecodedImage();
  small_png = DecodedImage();
  EXPECT_EQ(budget.in_use_bytes(), 0u);
  // The drawing's converted copy of the picture counted too: at most the picture plus a copy plus the
  // canvas, and the file's bytes while it decodes.
  EXPECT_LE(budget.peak_bytes(), 200u * 150 * 4 + 2 * 200u * 150 * 4 + 2 * 100u * 100 * 4 + png.size());

  // A progressive file is decoded from all its coefficients at once (two bytes each, 1.44 MB for this
  // 800 x 600 picture with halved chroma): more than the budget, even for the smallest reduced decode.
  std::vector<uint8_t> progressive = Jpeg(*imaging::MakeBitmap(800, 600, 0xFF336699), 80);
  for (size_t i = 2; i + 1 < progressive.size(); ++i) {
    if (progressive[i] == 0xFF && progressive[i + 1] == 0xC0) {
      progressive[i + 1] = 0xC2;
      break;
    }
  }
  EXPECT_EQ(graphics.Decode(Write("progressive.jpg", progressive), {100, 75}, &decoded), GraphicsStatus::kInvalidArgument);
  EXPECT_EQ(budget.in_use_bytes(), 0u);
}

TEST_F(CairoGraphicsTest, EveryPngLayoutDecodesToStraightRgba) {
  DecodedImage decoded;
  // 16-bit grey without a colour-space chunk, as numpy, OpenCV and PIL write it: read as the sRGB-encoded
  // level it stores, as viewers show it (grey 100 x 257 stays 100), not as linear light (167).
  const std::vector<std::vector<uint8_t>> grey16(2, std::vector<uint8_t>{100, 100, 100, 100, 100, 100});
  ASSERT_EQ(graphics_.Decode(Write("g16.png", RawPng(3, 2, 16, PNG_COLOR_TYPE_GRAY, false, grey16)), {}, &decoded),
            GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.width_px, 3);
  for (size_t i = 0; i < decoded.bitmap.rgba.size(); i += 4) {
    for (size_t channel = 0; channel < 3; ++channel) EXPECT_EQ(decoded.bitmap.rgba[i + channel], 100) << i;
    EXPECT_EQ(decoded.bitmap.rgba[i + 3], 255);
  }
  // A palette with a transparent entry, 2 bits per pixel.
  const std::vector<std::vector<uint8_t>> indexed = {{0b00011011}};
  ASSERT_EQ(graphics_.Decode(Write("p.png", RawPng(4, 1, 2, PNG_COLOR_TYPE_PALETTE, false, indexed,
                                                   {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9}, {0, 128})),
                             {}, &decoded),
            GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.rgba, (imaging::PixelBytes{255, 0, 0, 0, 0, 255, 0, 128, 0, 0, 255, 255, 9, 9, 9, 255}));
  // Grey with alpha, and an interlaced picture, which must equal its plain twin.
  ASSERT_EQ(graphics_.Decode(Write("ga.png", RawPng(1, 1, 8, PNG_COLOR_TYPE_GRAY_ALPHA, false, {{77, 33}})), {},
                             &decoded),
            GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.rgba, (imaging::PixelBytes{77, 77, 77, 33}));
  std::vector<std::vector<uint8_t>> rows(13, std::vector<uint8_t>(11 * 3));
  for (size_t y = 0; y < rows.size(); ++y) {
    for (size_t i = 0; i < rows[y].size(); ++i) rows[y][i] = static_cast<uint8_t>(y * 19 + i * 7);
  }
  DecodedImage plain;
  ASSERT_EQ(graphics_.Decode(Write("plain.png", RawPng(11, 13, 8, PNG_COLOR_TYPE_RGB, false, rows)), {}, &plain),
            GraphicsStatus::kOk);
  ASSERT_EQ(graphics_.Decode(Write("adam7.png", RawPng(11, 13, 8, PNG_COLOR_TYPE_RGB, true, rows)), {}, &decoded),
            GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.rgba, plain.bitmap.rgba);
  EXPECT_EQ(plain.bitmap.pixel(10, 12)[2], static_cast<uint8_t>(12 * 19 + 32 * 7));
  // Cut anywhere inside its image data, a PNG fails cleanly.
  const std::vector<uint8_t> whole = RawPng(11, 13, 8, PNG_COLOR_TYPE_RGB, false, rows);
  for (size_t size : {whole.size() / 2, whole.size() - 20, size_t{60}}) {
    const std::vector<uint8_t> cut(whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(size));
    EXPECT_EQ(graphics_.Decode(Write("cut.png", cut), {}, &decoded), GraphicsStatus::kCorrupt) << size;
    EXPECT_EQ(graphics_.Decode(Write("cut.png", cut), {0, 0, 5, 6}, &decoded), GraphicsStatus::kCorrupt);
  }
}

TEST_F(CairoGraphicsTest, AnExactSizeIsReducedWithTheAreaFilterForEveryFormat) {
  imaging::Bitmap picture = *imaging::MakeBitmap(640, 480, 0xFF000000);
  for (int y = 0; y < 480; ++y) {
    for (int x = 0; x < 640; ++x) picture.pixel(x, y)[0] = static_cast<uint8_t>(x * 255 / 639);
  }
  std::vector<uint8_t> png;
  ASSERT_EQ(graphics_.EncodePng(picture, &png), GraphicsStatus::kOk);
  const auto expected = imaging::ReduceBitmap(picture, 100, 75);
  for (const std::string& path : {Write("ramp.png", png), Write("ramp.jpg", Jpeg(picture, 98))}) {
    DecodedImage decoded;
    DecodeOptions options;
    options.exact_width_px = 100;
    options.exact_height_px = 75;
    ASSERT_EQ(graphics_.Decode(path, options, &decoded), GraphicsStatus::kOk) << path;
    EXPECT_EQ(decoded.bitmap.width_px, 100);
    EXPECT_EQ(decoded.bitmap.height_px, 75);
    EXPECT_EQ(decoded.info.width_px, 640);
    for (int x : {0, 33, 99}) EXPECT_NEAR(decoded.bitmap.pixel(x, 40)[0], expected->pixel(x, 40)[0], 3) << path << x;
    // Larger than the picture: ignored, the picture comes at its own size.
    options.exact_width_px = 641;
    ASSERT_EQ(graphics_.Decode(path, options, &decoded), GraphicsStatus::kOk);
    EXPECT_EQ(decoded.bitmap.width_px, 640);
  }
}

TEST_F(CairoGraphicsTest, PngPreviewsAreCompressedOnceAndDecodeBack) {
  // A photograph-like gradient with noise: the encoder's filter and level make it smaller than raw.
  imaging::Bitmap photo = *imaging::MakeBitmap(341, 256, 0xFF000000);
  for (int y = 0; y < 256; ++y) {
    for (int x = 0; x < 341; ++x) {
      uint8_t* p = photo.pixel(x, y);
      p[0] = static_cast<uint8_t>(x * 3 / 4 + (x * y % 7));
      p[1] = static_cast<uint8_t>(y + (x % 5));
      p[2] = static_cast<uint8_t>(128 + ((x + y) % 9));
    }
  }
  std::vector<uint8_t> bytes;
  ASSERT_EQ(graphics_.EncodePng(photo, &bytes), GraphicsStatus::kOk);
  EXPECT_LT(bytes.size(), photo.rgba.size() / 2);
  DecodedImage decoded;
  ASSERT_EQ(graphics_.Decode(Write("photo.png", bytes), {}, &decoded), GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.rgba, photo.rgba);
}

TEST_F(CairoGraphicsTest, BadFilesFailCleanlyWithTheirStatus) {
  ImageInfo info;
  DecodedImage decoded;
  EXPECT_EQ(graphics_.ReadInfo(folder_ + "/missing.jpg", &info), GraphicsStatus::kNotFound);
  EXPECT_EQ(graphics_.Decode(folder_ + "/missing.jpg", {}, &decoded), GraphicsStatus::kNotFound);
  EXPECT_EQ(graphics_.Decode("", {}, &decoded), GraphicsStatus::kNotFound);
  // A FIFO with no writer would block a plain open for ever.
  const std::string fifo = folder_ + "/fifo.jpg";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(graphics_.Decode(fifo, {}, &decoded), GraphicsStatus::kAccessDenied);
  EXPECT_EQ(graphics_.ReadInfo(folder_, &info), GraphicsStatus::kAccessDenied);
  // Not pictures at all, then damaged ones.
  EXPECT_EQ(graphics_.Decode(Write("empty.jpg", {}), {}, &decoded), GraphicsStatus::kUnsupported);
  EXPECT_EQ(graphics_.Decode(Write("text.jpg", {'h', 'e', 'l', 'l', 'o'}), {}, &decoded),
            GraphicsStatus::kUnsupported);
  // A header that only claims a JPEG, and a PNG header claiming 40000 x 40000 pixels.
  EXPECT_EQ(graphics_.Decode(Write("stub.jpg", {0xFF, 0xD8, 0xFF, 0xD9}), {}, &decoded),
            GraphicsStatus::kCorrupt);
  std::vector<uint8_t> png;
  ASSERT_EQ(graphics_.EncodePng(*imaging::MakeBitmap(2, 2), &png), GraphicsStatus::kOk);
  for (int i : {16, 20}) png[i] = 0, png[i + 1] = 0, png[i + 2] = 0x9C, png[i + 3] = 0x40;
  EXPECT_NE(graphics_.Decode(Write("huge.png", png), {}, &decoded), GraphicsStatus::kOk);
}

TEST_F(CairoGraphicsTest, ATruncatedJpegIsRefusedForPrintShownForLookingAndStrayBytesAreNot) {
  // Cut short, a photo would come out with a grey block where its data stops: refused for print, as the
  // helper program refuses it, and shown with its damage for a preview.
  const std::vector<uint8_t> whole = Jpeg(*imaging::MakeBitmap(64, 64, 0xFF00FF00));
  DecodedImage decoded;
  // Cut in its coded data (the tables take most of so small a file).
  const std::vector<uint8_t> cut(whole.begin(), whole.end() - 40);
  std::string reason;
  EXPECT_EQ(graphics_.Decode(Write("cut.jpg", cut), {}, &decoded, &reason), GraphicsStatus::kCorrupt);
  EXPECT_EQ(reason, "damaged data");
  DecodeOptions show;
  show.purpose = imaging::DecodePurpose::kShow;
  ASSERT_EQ(graphics_.Decode(Write("cut.jpg", cut), show, &decoded), GraphicsStatus::kOk);
  EXPECT_TRUE(decoded.damaged);
  // Only its end marker missing: every pixel is there.
  const std::vector<uint8_t> no_end(whole.begin(), whole.end() - 2);
  ASSERT_EQ(graphics_.Decode(Write("no-end.jpg", no_end), {}, &decoded), GraphicsStatus::kOk);
  EXPECT_FALSE(decoded.damaged);
  // Bytes between the data and the end marker: the picture is whole, and decodes.
  std::vector<uint8_t> stray = whole;
  stray.insert(stray.end() - 2, {1, 2, 3});
  ASSERT_EQ(graphics_.Decode(Write("stray.jpg", stray), {}, &decoded), GraphicsStatus::kOk);
  EXPECT_NEAR(decoded.bitmap.pixel(32, 32)[1], 255, 3);
}

// Vertical stripes one pixel wide, black and white.
imaging::Bitmap Stripes(int width, int height) {
  imaging::Bitmap stripes = *imaging::MakeBitmap(width, height, kBlack);
  for (int y = 0; y < height; ++y) {
    for (int x = 1; x < width; x += 2) std::fill_n(stripes.pixel(x, y), 3, 255);
  }
  return stripes;
}

// Largest minus smallest green value of the canvas, away from its edges.
int Spread(const Canvas& canvas) {
  const std::optional<imaging::Bitmap> pixels = canvas.Snapshot();
  int low = 255, high = 0;
  for (int y = 2; y < pixels->height_px - 2; ++y) {
    for (int x = 2; x < pixels->width_px - 2; ++x) {
      low = std::min<int>(low, pixels->pixel(x, y)[1]);
      high = std::max<int>(high, pixels->pixel(x, y)[1]);
    }
  }
  return high - low;
}

TEST_F(CairoGraphicsTest, AreaAndBicubicReductionsAverageDetailAwayAtAnyFactor) {
  // Reduced by 1.45, 3.3, 4, 10 and 40 onto 64 pixels, stripes finer than the new pixels become an even
  // grey with either high-quality filter; a bilinear sample of two pixels in each place leaves bands.
  for (const int width : {93, 211, 256, 640, 2560}) {
    const imaging::Bitmap stripes = Stripes(width, 64);
    auto canvas = graphics_.CreateCanvas(64, 16);
    for (const Filter filter : {Filter::kArea, Filter::kBicubic}) {
      canvas->Clear(kWhite);
      ASSERT_EQ(canvas->DrawBitmap(stripes, {0, 0, 64, 16}, filter), GraphicsStatus::kOk);
      EXPECT_LE(Spread(*canvas), 6) << width;
      EXPECT_NEAR(canvas->Snapshot()->pixel(30, 8)[1], 128, 6) << width;
    }
    if (width == 211) {
      canvas->Clear(kWhite);
      ASSERT_EQ(canvas->DrawBitmap(stripes, {0, 0, 64, 16}, Filter::kBilinear), GraphicsStatus::kOk);
      EXPECT_GT(Spread(*canvas), 40);
    }
  }
  // Enlarging is bilinear: a smooth ramp between two pixels.
  auto canvas = graphics_.CreateCanvas(40, 4);
  ASSERT_EQ(canvas->DrawBitmap(Stripes(2, 1), {0, 0, 40, 4}, Filter::kArea), GraphicsStatus::kOk);
  const int middle = canvas->Snapshot()->pixel(20, 2)[1];
  EXPECT_GT(middle, 60);
  EXPECT_LT(middle, 200);
}

TEST_F(CairoGraphicsTest, CanvasDrawsScaledPartsStrokesAndSurvivesEmptyDraws) {
  GraphicsStatus status;
  EXPECT_EQ(graphics_.CreateCanvas(0, 10, &status), nullptr);
  EXPECT_EQ(status, GraphicsStatus::kInvalidArgument);
  EXPECT_EQ(graphics_.CreateCanvas(40000, 10, &status), nullptr);

  auto canvas = graphics_.CreateCanvas(20, 10, &status);
  ASSERT_NE(canvas, nullptr);
  canvas->Clear(kWhite);
  imaging::Bitmap red_blue = *imaging::MakeBitmap(2, 1, 0xFFFF0000);
  red_blue.pixel(1, 0)[0] = 0, red_blue.pixel(1, 0)[2] = 255;
  // A zero-size draw must not poison the later drawing.
  EXPECT_EQ(canvas->DrawBitmap(red_blue, {3, 3, 0, 5}, Filter::kBicubic), GraphicsStatus::kOk);
  EXPECT_EQ(canvas->DrawBitmap(red_blue, {0, 0, 20, 10}, Filter::kNearest), GraphicsStatus::kOk);
  auto pixels = canvas->Snapshot();
  ASSERT_TRUE(pixels.has_value());
  EXPECT_EQ(pixels->pixel(9, 5)[0], 255);
  EXPECT_EQ(pixels->pixel(10, 5)[2], 255);
  EXPECT_EQ(pixels->pixel(10, 5)[0], 0);

  // The right half of the picture stretched over the whole canvas.
  EXPECT_EQ(canvas->DrawBitmapPart(red_blue, {1, 0, 1, 1}, {0, 0, 20, 10}, Filter::kBicubic), GraphicsStatus::kOk);
  pixels = canvas->Snapshot();
  EXPECT_EQ(pixels->pixel(0, 0)[2], 255);
  EXPECT_EQ(pixels->pixel(0, 0)[0], 0);  // no red bleeding in from outside the part

  // A 4-pixel pen on integer edges covers whole pixel rows: the top edge at y = 2 covers rows 0..3.
  canvas->Clear(kWhite);
  ASSERT_EQ(canvas->StrokeRect({2, 2, 16, 6}, 4, kBlack), GraphicsStatus::kOk);
  pixels = canvas->Snapshot();
  for (int y = 0; y < 10; ++y) {
    const bool band = y < 4 || y >= 6;
    EXPECT_EQ(pixels->pixel(10, y)[0], band ? 0 : 255) << y;
  }
  EXPECT_EQ(canvas->StrokeRect({0, 0, 1, 1}, std::nan(""), kBlack), GraphicsStatus::kInvalidArgument);
}

TEST_F(CairoGraphicsTest, BicubicReductionKeepsTheMeanAndBlendingUsesAlpha) {
  imaging::Bitmap checker = *imaging::MakeBitmap(400, 400, kBlack);
  for (int y = 0; y < 400; ++y) {
    for (int x = 0; x < 400; ++x) {
      if (((x / 2) + (y / 2)) % 2) std::fill_n(checker.pixel(x, y), 3, 255);
    }
  }
  auto canvas = graphics_.CreateCanvas(100, 100);
  canvas->Clear(kWhite);
  ASSERT_EQ(canvas->DrawBitmap(checker, {0, 0, 100, 100}, Filter::kBicubic), GraphicsStatus::kOk);
  const auto pixels = canvas->Snapshot();
  double sum = 0;
  for (int y = 0; y < 100; ++y) {
    for (int x = 0; x < 100; ++x) sum += pixels->pixel(x, y)[1];
  }
  EXPECT_NEAR(sum / 10000, 127.5, 2.0);

  canvas->Clear(kWhite);
  ASSERT_EQ(canvas->DrawBitmap(*imaging::MakeBitmap(1, 1, 0x80000000), {0, 0, 100, 100}, Filter::kBilinear),
            GraphicsStatus::kOk);
  EXPECT_NEAR(canvas->Snapshot()->pixel(50, 50)[0], 127, 1);
}

TEST_F(CairoGraphicsTest, AreaDrawingOfAPartSeesOnlyThePart) {
  // White on the left half, black on the right: the left half drawn at a fifth stays pure white.
  imaging::Bitmap halves = *imaging::MakeBitmap(100, 50, kBlack);
  for (int y = 0; y < 50; ++y) std::fill_n(halves.pixel(0, y), 50 * 4, 0xFF);
  auto canvas = graphics_.CreateCanvas(20, 20);
  canvas->Clear(kBlack);
  ASSERT_EQ(canvas->DrawBitmapPart(halves, {0, 0, 50, 50}, {0, 0, 10, 10}, Filter::kArea, Blend::kSourceCopy),
            GraphicsStatus::kOk);
  EXPECT_EQ(canvas->Snapshot()->pixel(9, 5)[0], 255);
  EXPECT_EQ(canvas->Snapshot()->pixel(12, 5)[0], 0);
}

TEST_F(CairoGraphicsTest, FakeAndRealCanvasesAgreeOnPixelAlignedDrawing) {
  FakeGraphics fake;
  auto real_canvas = graphics_.CreateCanvas(30, 20);
  auto fake_canvas = fake.CreateCanvas(30, 20);
  imaging::Bitmap tile = *imaging::MakeBitmap(3, 2, 0xFF102030);
  tile.pixel(2, 1)[0] = 250;
  for (Canvas* canvas : {real_canvas.get(), fake_canvas.get()}) {
    canvas->Clear(kWhite);
    canvas->DrawBitmap(tile, {3, 4, 12, 8}, Filter::kNearest);
    canvas->StrokeRect({1, 1, 28, 18}, 2, 0xFF00FF00);
    canvas->FillRect({20, 10, 5, 5}, 0xFF0000FF);
  }
  EXPECT_EQ(real_canvas->Snapshot()->rgba, fake_canvas->Snapshot()->rgba);
}

}  // namespace
}  // namespace platform
