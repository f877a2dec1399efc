// Tests for the Windows Graphics adapter against the system's own WIC and GDI+ (Wine's under CI):
// decoding and reduced decoding, a photo stored turned, refusals, the memory budget, drawing, the
// draw-turn-encode round trip and the bakes' start and stop of GDI+.
#include "platform/gdiplus/gdiplus_graphics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>
#include <thread>

#include "runner/insight/thumbnail.h"
#include "tests/support/temp_folder.h"
#include "tests/imaging/header/exif_test_files.h"

namespace platform {
namespace {

using test_support::TempFolder;

// Writes `bytes` as `name` (UTF-8) in `folder` and answers its UTF-8 path.
std::string Write(const test_support::TempFolder& folder, const std::string& name, const std::vector<uint8_t>& bytes) {
  const std::string path = folder.File(name);
  test_support::WriteBytes(path, bytes);
  return path;
}

constexpr uint32_t kRed = 0xFFFF0000, kGreen = 0xFF00FF00, kBlue = 0xFF0000FF, kWhite = 0xFFFFFFFF;
// JPEG at quality 95 keeps flat colours within a few levels away from their edges.
constexpr int kJpegTolerance = 12;

// A picture of four flat quarters: red, green over blue, white.
imaging::Bitmap Quarters(int width, int height) {
  imaging::Bitmap image = *imaging::MakeBitmap(width, height, kWhite);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint32_t colour = y < height / 2 ? (x < width / 2 ? kRed : kGreen) : (x < width / 2 ? kBlue : kWhite);
      uint8_t* p = image.pixel(x, y);
      p[0] = static_cast<uint8_t>(colour >> 16), p[1] = static_cast<uint8_t>(colour >> 8);
      p[2] = static_cast<uint8_t>(colour), p[3] = 0xFF;
    }
  }
  return image;
}

uint32_t Argb(const imaging::Bitmap& image, int x, int y) {
  const uint8_t* p = image.pixel(x, y);
  return (uint32_t{p[3]} << 24) | (uint32_t{p[0]} << 16) | (uint32_t{p[1]} << 8) | p[2];
}

// Each channel of the pixel at (x, y) within `tolerance` of `argb`'s.
::testing::AssertionResult Near(const imaging::Bitmap& image, int x, int y, uint32_t argb, int tolerance) {
  const uint32_t got = Argb(image, x, y);
  for (int shift = 0; shift < 32; shift += 8) {
    if (std::abs(static_cast<int>((got >> shift) & 0xFF) - static_cast<int>((argb >> shift) & 0xFF)) > tolerance) {
      return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") is " << std::hex << got
                                           << ", expected " << argb;
    }
  }
  return ::testing::AssertionSuccess();
}

// The quarters' centres of `image`.
void ExpectQuarters(const imaging::Bitmap& image, int tolerance) {
  const int w = image.width_px, h = image.height_px;
  EXPECT_TRUE(Near(image, w / 4, h / 4, kRed, tolerance));
  EXPECT_TRUE(Near(image, 3 * w / 4, h / 4, kGreen, tolerance));
  EXPECT_TRUE(Near(image, w / 4, 3 * h / 4, kBlue, tolerance));
  EXPECT_TRUE(Near(image, 3 * w / 4, 3 * h / 4, kWhite, tolerance));
}

class GdiplusGraphicsTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(graphics_.IsReady()); }

  std::vector<uint8_t> Jpeg(const imaging::Bitmap& image, int quality = 95) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(graphics_.EncodeJpeg(image, quality, &bytes), GraphicsStatus::kOk);
    return bytes;
  }
  std::vector<uint8_t> Png(const imaging::Bitmap& image) {
    std::vector<uint8_t> bytes;
    EXPECT_EQ(graphics_.EncodePng(image, &bytes), GraphicsStatus::kOk);
    return bytes;
  }
  DecodedImage Decode(const std::string& path, const DecodeOptions& options = {}) {
    DecodedImage decoded;
    EXPECT_EQ(graphics_.Decode(path, options, &decoded), GraphicsStatus::kOk) << path;
    return decoded;
  }

  TempFolder folder_;
  GdiplusGraphics graphics_{nullptr};
};

TEST_F(GdiplusGraphicsTest, DecodesJpegAndPngFromUnicodeNamesWithTheirColours) {
  imaging::Bitmap picture = Quarters(80, 60);
  picture.pixel(79, 59)[3] = 0x40;  // one translucent pixel: PNG keeps alpha exactly
  const std::string jpeg = Write(folder_, "Fotoğraf_ü_写真.jpg", Jpeg(picture));
  const std::string png = Write(folder_, "Φωτογραφία 😀.png", Png(picture));

  const DecodedImage from_jpeg = Decode(jpeg);
  EXPECT_EQ(from_jpeg.info.format, ImageFormat::kJpeg);
  ASSERT_EQ(from_jpeg.bitmap.width_px, 80);
  ASSERT_EQ(from_jpeg.bitmap.height_px, 60);
  ExpectQuarters(from_jpeg.bitmap, kJpegTolerance);

  const DecodedImage from_png = Decode(png);
  EXPECT_EQ(from_png.info.format, ImageFormat::kPng);
  ASSERT_EQ(from_png.bitmap.width_px, 80);
  ASSERT_EQ(from_png.bitmap.height_px, 60);
  EXPECT_TRUE(std::equal(picture.rgba.begin(), picture.rgba.end(), from_png.bitmap.rgba.begin()));
}

TEST_F(GdiplusGraphicsTest, ReducedDecodesTakeTheSizesTheOptionsAsk) {
  const std::string jpeg = Write(folder_, "big.jpg", Jpeg(Quarters(800, 600)));
  const std::string png = Write(folder_, "big.png", Png(Quarters(90, 60)));
  struct Case {
    std::string path;
    DecodeOptions options;
    int width, height;
  };
  const Case cases[] = {
      // For paper a JPEG is decoded whole, its rows reduced by the whole factor that keeps twice the size
      // asked; to be shown, at the smallest M/8 scale keeping twice it (an eighth at most: the eighth).
      {jpeg, {200, 150, 0, 0}, 400, 300},
      {jpeg, {201, 150, 0, 0}, 800, 600},    // nothing smaller keeps twice it
      {jpeg, {200, 150, 0, 0, imaging::DecodePurpose::kShow}, 400, 300},
      {jpeg, {201, 150, 0, 0, imaging::DecodePurpose::kShow}, 500, 375},
      {jpeg, {100, 75, 0, 0, imaging::DecodePurpose::kShow}, 100, 75},
      {jpeg, {0, 0, 123, 77}, 123, 77},      // an exact size
      {jpeg, {0, 0, 900, 77}, 800, 600},     // an exact size past the picture is ignored
      {png, {15, 10, 0, 0}, 30, 20},         // a whole factor of 3
      {png, {16, 10, 0, 0}, 45, 30},         // a factor of 2
      {png, {0, 0, 25, 17}, 25, 17},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path + " " + std::to_string(c.width) + "x" + std::to_string(c.height));
    const DecodedImage decoded = Decode(c.path, c.options);
    EXPECT_EQ(decoded.info.width_px, c.path == jpeg ? 800 : 90);
    ASSERT_EQ(decoded.bitmap.width_px, c.width);
    ASSERT_EQ(decoded.bitmap.height_px, c.height);
    ExpectQuarters(decoded.bitmap, kJpegTolerance);
  }
}

TEST_F(GdiplusGraphicsTest, PhotoStoredTurnedGivesAnUprightPreview) {
  // Stored landscape, left half red and right half blue, to be shown turned a quarter clockwise: the
  // red half is then on top.
  imaging::Bitmap stored = *imaging::MakeBitmap(64, 32, kBlue);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) stored.pixel(x, y)[0] = 0xFF, stored.pixel(x, y)[2] = 0;
  }
  using namespace imaging::testing;
  const std::string path =
      Write(folder_, "gedreht_ä.jpg", WithExif(Jpeg(stored), BuildExif({ShortEntry(kTagOrientation, 6)})));
  ImageInfo info;
  ASSERT_EQ(graphics_.ReadInfo(path, &info), GraphicsStatus::kOk);
  EXPECT_EQ(info.orientation, 6);
  EXPECT_EQ(info.width_px, 64);

  const std::optional<std::vector<uint8_t>> preview =
      runner::insight::RenderThumbnail(graphics_, nullptr, path, runner::insight::PixelSize{16, 32});
  ASSERT_TRUE(preview);
  const DecodedImage upright = Decode(Write(folder_, "preview.png", *preview));
  ASSERT_EQ(upright.bitmap.width_px, 16);
  ASSERT_EQ(upright.bitmap.height_px, 32);
  EXPECT_TRUE(Near(upright.bitmap, 8, 6, kRed, kJpegTolerance));
  EXPECT_TRUE(Near(upright.bitmap, 8, 25, kBlue, kJpegTolerance));
}

TEST_F(GdiplusGraphicsTest, RefusesMissingFilesFoldersAndWhatIsNoPicture) {
  DecodedImage decoded;
  decoded.bitmap.width_px = 7;
  EXPECT_EQ(graphics_.Decode(folder_.File("nowhere.jpg"), {}, &decoded), GraphicsStatus::kNotFound);
  EXPECT_EQ(graphics_.Decode(folder_.str(), {}, &decoded), GraphicsStatus::kAccessDenied);
  EXPECT_EQ(graphics_.Decode("", {}, &decoded), GraphicsStatus::kNotFound);
  EXPECT_EQ(graphics_.Decode(Write(folder_, "text.jpg", {'h', 'e', 'l', 'l', 'o'}), {}, &decoded),
            GraphicsStatus::kUnsupported);
  // A JPEG header with no decodable pixels behind it.
  using namespace imaging::testing;
  EXPECT_NE(graphics_.Decode(Write(folder_, "header.jpg", JpegHeaderFile({FrameSegment(64, 48)})), {}, &decoded),
            GraphicsStatus::kOk);
  EXPECT_EQ(decoded.bitmap.width_px, 7);  // untouched by failures

  // A photo cut short: a clean answer either way, and a whole picture when it claims success.
  std::vector<uint8_t> cut = Jpeg(Quarters(160, 120));
  cut.resize(cut.size() / 2);
  DecodedImage partial;
  const GraphicsStatus status = graphics_.Decode(Write(folder_, "cut.jpg", cut), {}, &partial);
  if (status == GraphicsStatus::kOk) {
    EXPECT_EQ(partial.bitmap.rgba.size(), 160u * 120u * 4u);
  }
}

TEST_F(GdiplusGraphicsTest, DecodingDrawsOnTheMemoryBudget) {
  const std::string path = Write(folder_, "budget.jpg", Jpeg(Quarters(800, 600)));
  imaging::MemoryBudget small(1 << 20);
  GdiplusGraphics bounded(&small);
  DecodedImage decoded;
  // The whole 800 x 600 picture is more than the whole budget.
  EXPECT_EQ(bounded.Decode(path, {}, &decoded), GraphicsStatus::kInvalidArgument);

  imaging::MemoryBudget roomy(16 << 20);
  GdiplusGraphics counted(&roomy);
  {
    DecodedImage reduced;
    ASSERT_EQ(counted.Decode(path, {200, 150, 0, 0}, &reduced), GraphicsStatus::kOk);
    EXPECT_EQ(roomy.in_use_bytes(), 400u * 300u * 4u);  // twice the size asked
    auto canvas = counted.CreateCanvas(100, 100);
    ASSERT_NE(canvas, nullptr);
    EXPECT_EQ(roomy.in_use_bytes(), 400u * 300u * 4u + 100u * 100u * 4u);
  }
  EXPECT_EQ(roomy.in_use_bytes(), 0u);
  GraphicsStatus status = GraphicsStatus::kOk;
  EXPECT_EQ(counted.CreateCanvas(4000, 2000, &status), nullptr);
  EXPECT_EQ(status, GraphicsStatus::kInvalidArgument);
}

TEST_F(GdiplusGraphicsTest, CanvasFillsAndStrokesOnWholePixels) {
  auto canvas = graphics_.CreateCanvas(40, 40);
  ASSERT_NE(canvas, nullptr);
  EXPECT_EQ(Argb(*canvas->Snapshot(), 3, 3), 0u);  // transparent black until cleared
  canvas->Clear(kWhite);
  ASSERT_EQ(canvas->FillRect({10, 10, 20, 20}, kRed), GraphicsStatus::kOk);
  ASSERT_EQ(canvas->StrokeRect({4, 4, 32, 32}, 2, 0xFF000000), GraphicsStatus::kOk);
  EXPECT_EQ(canvas->FillRect({0, 0, std::nan(""), 1}, kRed), GraphicsStatus::kInvalidArgument);
  const imaging::Bitmap pixels = *canvas->Snapshot();
  EXPECT_EQ(Argb(pixels, 10, 10), kRed);
  EXPECT_EQ(Argb(pixels, 29, 29), kRed);
  EXPECT_EQ(Argb(pixels, 9, 9), kWhite);
  EXPECT_EQ(Argb(pixels, 30, 30), kWhite);
  // The pen covers 3..5 around the edge at 4: pixels 3 and 4, not 2 or 5.
  EXPECT_TRUE(Near(pixels, 3, 20, 0xFF000000, 8));
  EXPECT_TRUE(Near(pixels, 4, 20, 0xFF000000, 8));
  EXPECT_EQ(Argb(pixels, 2, 20), kWhite);
  EXPECT_EQ(Argb(pixels, 5, 20), kWhite);
}

TEST_F(GdiplusGraphicsTest, DrawingPlacesPicturesWithSharpEdgesAndHonoursTheBlend) {
  imaging::Bitmap tiny = *imaging::MakeBitmap(2, 2, kRed);
  tiny.pixel(1, 0)[0] = 0, tiny.pixel(1, 0)[1] = 0xFF;  // green
  tiny.pixel(0, 1)[0] = 0, tiny.pixel(0, 1)[2] = 0xFF;  // blue
  tiny.pixel(1, 1)[3] = 0;                              // transparent
  auto canvas = graphics_.CreateCanvas(30, 30);
  canvas->Clear(kWhite);
  ASSERT_EQ(canvas->DrawBitmap(tiny, {0, 0, 4, 4}, Filter::kNearest), GraphicsStatus::kOk);
  ASSERT_EQ(canvas->DrawBitmap(tiny, {4, 0, 4, 4}, Filter::kNearest, Blend::kSourceCopy), GraphicsStatus::kOk);
  const imaging::Bitmap red = *imaging::MakeBitmap(10, 10, kRed);
  ASSERT_EQ(canvas->DrawBitmap(red, {5, 5, 20, 20}, Filter::kBicubic), GraphicsStatus::kOk);
  EXPECT_EQ(canvas->DrawBitmap(red, {5, 5, 0, 20}, Filter::kBicubic), GraphicsStatus::kOk);  // nothing to draw
  const imaging::Bitmap pixels = *canvas->Snapshot();
  EXPECT_EQ(Argb(pixels, 0, 0), kRed);
  EXPECT_EQ(Argb(pixels, 3, 0), kGreen);
  EXPECT_EQ(Argb(pixels, 0, 3), kBlue);
  EXPECT_EQ(Argb(pixels, 3, 3), kWhite);                 // blended over: the canvas shows through
  EXPECT_EQ(Argb(pixels, 7, 3) >> 24, 0u);               // copied: the canvas takes the transparency
  EXPECT_TRUE(Near(pixels, 5, 5, kRed, 2));              // no fringe at the picture's edges
  EXPECT_TRUE(Near(pixels, 24, 24, kRed, 2));
  EXPECT_EQ(Argb(pixels, 25, 25), kWhite);
  EXPECT_EQ(Argb(pixels, 15, 4), kWhite);
}

TEST_F(GdiplusGraphicsTest, HighQualityReductionsAverageFineDetailAndPartsSeeOnlyTheirPixels) {
  imaging::Bitmap checks = *imaging::MakeBitmap(100, 100, 0xFF000000);
  for (int y = 0; y < 100; ++y) {
    for (int x = (y % 2); x < 100; x += 2) std::fill_n(checks.pixel(x, y), 3, 0xFF);
  }
  auto canvas = graphics_.CreateCanvas(10, 10);
  for (const Filter filter : {Filter::kArea, Filter::kBicubic}) {
    ASSERT_EQ(canvas->DrawBitmap(checks, {0, 0, 10, 10}, filter), GraphicsStatus::kOk);
    const imaging::Bitmap reduced = *canvas->Snapshot();
    for (int y = 0; y < 10; ++y) {
      for (int x = 0; x < 10; ++x) EXPECT_TRUE(Near(reduced, x, y, 0xFF808080, 6));
    }
  }
  // The right half of the quarters, enlarged: no red or blue from the left half bleeds in.
  const imaging::Bitmap quarters = Quarters(20, 20);
  canvas->Clear(0);
  ASSERT_EQ(canvas->DrawBitmapPart(quarters, {10, 0, 10, 10}, {0, 0, 10, 10}, Filter::kBilinear), GraphicsStatus::kOk);
  const imaging::Bitmap part = *canvas->Snapshot();
  for (int y = 0; y < 10; ++y) EXPECT_TRUE(Near(part, 0, y, kGreen, 2)) << y;
}

TEST_F(GdiplusGraphicsTest, DrawTurnAndEncodeRoundTrip) {
  auto canvas = graphics_.CreateCanvas(60, 40);
  canvas->Clear(kWhite);
  ASSERT_EQ(canvas->DrawBitmap(Quarters(6, 4), {0, 0, 60, 40}, Filter::kNearest), GraphicsStatus::kOk);
  const imaging::Bitmap turned = imaging::RotateClockwise(*canvas->Snapshot());
  ASSERT_EQ(turned.width_px, 40);
  // Turned clockwise, the quarters read blue, red over white, green.
  const DecodedImage png = Decode(Write(folder_, "turned.png", Png(turned)));
  EXPECT_TRUE(std::equal(turned.rgba.begin(), turned.rgba.end(), png.bitmap.rgba.begin()));
  EXPECT_EQ(Argb(png.bitmap, 5, 5), kBlue);
  EXPECT_EQ(Argb(png.bitmap, 35, 5), kRed);

  std::vector<uint8_t> jpeg_bytes;
  ASSERT_EQ(graphics_.EncodeJpeg(turned, 95, &jpeg_bytes, 300), GraphicsStatus::kOk);
  const std::string jpeg = Write(folder_, "turned.jpg", jpeg_bytes);
  const DecodedImage from_jpeg = Decode(jpeg);
  ASSERT_EQ(from_jpeg.bitmap.width_px, 40);
  EXPECT_TRUE(Near(from_jpeg.bitmap, 5, 5, kBlue, kJpegTolerance));
  EXPECT_TRUE(Near(from_jpeg.bitmap, 35, 55, kGreen, kJpegTolerance));
  ASSERT_TRUE(from_jpeg.info.resolution);
  EXPECT_DOUBLE_EQ(from_jpeg.info.resolution->x_dpi, 300);
}

TEST_F(GdiplusGraphicsTest, JpegQualityIsHonouredAndEncodingIsRepeatable) {
  // Detail that quality can drop: a noisy picture.
  imaging::Bitmap noisy = *imaging::MakeBitmap(128, 128, kWhite);
  uint32_t seed = 12345;
  for (size_t i = 0; i < noisy.rgba.size(); ++i) {
    seed = seed * 1103515245u + 12345u;
    if (i % 4 != 3) noisy.rgba[i] = static_cast<uint8_t>(seed >> 24);
  }
  const std::vector<uint8_t> low = Jpeg(noisy, 10), high = Jpeg(noisy, 95);
  EXPECT_LT(low.size() * 2, high.size());
  EXPECT_EQ(Jpeg(noisy, 95), high);
  std::vector<uint8_t> untouched = {1, 2, 3};
  EXPECT_EQ(graphics_.EncodeJpeg(noisy, 0, &untouched), GraphicsStatus::kInvalidArgument);
  EXPECT_EQ(untouched.size(), 3u);
}

TEST_F(GdiplusGraphicsTest, AnotherSessionEndingLeavesTheAdaptersOwnRunning) {
  GdiplusSession other;
  ASSERT_EQ(other.Start(), GraphicsStatus::kOk);
  ASSERT_EQ(other.Start(), GraphicsStatus::kOk);  // already running: no second start to match
  EXPECT_TRUE(other.running());
  other.Stop();
  EXPECT_FALSE(other.running());
  other.Stop();
  // GDI+ counts its starts: the adapter's canvases still draw.
  auto canvas = graphics_.CreateCanvas(4, 4);
  ASSERT_NE(canvas, nullptr);
  ASSERT_EQ(canvas->FillRect({0, 0, 4, 4}, kGreen), GraphicsStatus::kOk);
  EXPECT_EQ(Argb(*canvas->Snapshot(), 2, 2), kGreen);
}

TEST_F(GdiplusGraphicsTest, ThreadsDecodeDrawAndEncodeAtOnce) {
  // Worker threads that never started COM or GDI+ themselves, as the bake and face workers are.
  const std::string jpeg = Write(folder_, "shared.jpg", Jpeg(Quarters(320, 240)));
  const std::string png = Write(folder_, "shared.png", Png(Quarters(90, 60)));
  auto work = [&](imaging::Bitmap* result) {
    DecodedImage photo, frame;
    if (graphics_.Decode(jpeg, {80, 60, 0, 0}, &photo) != GraphicsStatus::kOk) return;
    if (graphics_.Decode(png, {}, &frame) != GraphicsStatus::kOk) return;
    auto canvas = graphics_.CreateCanvas(80, 60);
    if (!canvas || canvas->DrawBitmap(photo.bitmap, {0, 0, 80, 60}, Filter::kBicubic) != GraphicsStatus::kOk ||
        canvas->DrawBitmap(frame.bitmap, {0, 0, 40, 30}, Filter::kArea) != GraphicsStatus::kOk) {
      return;
    }
    std::vector<uint8_t> encoded;
    if (graphics_.EncodePng(*canvas->Snapshot(), &encoded) != GraphicsStatus::kOk) return;
    *result = *canvas->Snapshot();
  };
  imaging::Bitmap alone;
  work(&alone);
  ASSERT_EQ(alone.width_px, 80);
  std::vector<imaging::Bitmap> results(6);
  std::vector<std::thread> threads;
  for (imaging::Bitmap& result : results) threads.emplace_back(work, &result);
  for (std::thread& thread : threads) thread.join();
  for (const imaging::Bitmap& result : results) EXPECT_TRUE(result.rgba == alone.rgba);
}

}  // namespace
}  // namespace platform
