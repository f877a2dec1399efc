// Tests for sheet composition: paste, frame blending, cut lines and whole sheets written to disk.
#include "helper/sheet.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "helper/image_io.h"
#include "tests/helper/test_images.h"
#include "tests/support/temp_folder.h"

namespace mosalith {
namespace {

struct Rgba {
  uint8_t r, g, b, a;
};

imaging::Bitmap Solid(int32_t width, int32_t height, Rgba color) {
  std::optional<imaging::Bitmap> image = imaging::MakeBitmap(width, height);
  EXPECT_TRUE(image);
  for (int32_t y = 0; y < height; ++y) {
    for (int32_t x = 0; x < width; ++x) {
      uint8_t* p = image->pixel(x, y);
      p[0] = color.r, p[1] = color.g, p[2] = color.b, p[3] = color.a;
    }
  }
  return std::move(*image);
}

void SetPixel(imaging::Bitmap& image, int32_t x, int32_t y, Rgba color) {
  uint8_t* p = image.pixel(x, y);
  p[0] = color.r, p[1] = color.g, p[2] = color.b, p[3] = color.a;
}

::testing::AssertionResult PixelIs(const imaging::Bitmap& image, int32_t x, int32_t y, Rgba want, int tolerance = 0) {
  const uint8_t* p = image.pixel(x, y);
  const uint8_t expected[4] = {want.r, want.g, want.b, want.a};
  for (int c = 0; c < 4; ++c) {
    if (std::abs(p[c] - expected[c]) > tolerance) {
      return ::testing::AssertionFailure() << "pixel (" << x << "," << y << ") is " << int(p[0]) << ","
                                           << int(p[1]) << "," << int(p[2]) << "," << int(p[3]);
    }
  }
  return ::testing::AssertionSuccess();
}

constexpr Rgba kWhite{255, 255, 255, 255};
constexpr Rgba kRed{220, 30, 30, 255};
constexpr Rgba kBlue{30, 30, 220, 255};

TEST(PastePhotoTest, CentresThePhotoInTheMagnetAndCopiesAllFourBytes) {
  imaging::Bitmap canvas = Solid(6, 5, kWhite);
  imaging::Bitmap photo = Solid(2, 2, {10, 20, 30, 7});
  SetPixel(photo, 1, 1, {40, 50, 60, 70});
  PastePhoto(canvas, photo, {1, 1}, 4, 3);  // x = 1 + (4 - 2) / 2, y = 1 + (3 - 2) / 2
  EXPECT_TRUE(PixelIs(canvas, 2, 1, {10, 20, 30, 7}));  // no blending, alpha copied
  EXPECT_TRUE(PixelIs(canvas, 3, 2, {40, 50, 60, 70}));
  EXPECT_TRUE(PixelIs(canvas, 1, 1, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 4, 2, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 2, 3, kWhite));
}

TEST(PastePhotoTest, ClampsToTheCanvasAndDropsWhatDoesNotFit) {
  // Wider than its magnet: the offset goes negative and is clamped to 0.
  imaging::Bitmap canvas = Solid(4, 3, kWhite);
  PastePhoto(canvas, Solid(4, 2, kRed), {0, 0}, 2, 2);
  EXPECT_TRUE(PixelIs(canvas, 0, 0, kRed));
  EXPECT_TRUE(PixelIs(canvas, 3, 1, kRed));
  EXPECT_TRUE(PixelIs(canvas, 0, 2, kWhite));

  // Rows below the canvas are dropped.
  canvas = Solid(4, 3, kWhite);
  PastePhoto(canvas, Solid(2, 5, kRed), {2, 1}, 2, 5);
  EXPECT_TRUE(PixelIs(canvas, 2, 2, kRed));
  EXPECT_TRUE(PixelIs(canvas, 2, 0, kWhite));

  // A row that would pass the right edge: nothing at all is copied.
  canvas = Solid(4, 3, kWhite);
  PastePhoto(canvas, Solid(3, 1, kRed), {2, 0}, 3, 1);
  for (int32_t x = 0; x < 4; ++x) EXPECT_TRUE(PixelIs(canvas, x, 0, kWhite));

  // A cell far off the canvas (hostile margins) touches nothing.
  PastePhoto(canvas, Solid(1, 1, kRed), {int64_t{1} << 40, int64_t{1} << 40}, 1, 1);
  PastePhoto(canvas, Solid(1, 1, kRed), {-(int64_t{1} << 40), 0}, 1, 1);
  EXPECT_TRUE(PixelIs(canvas, 0, 0, kRed));  // clamped to the left edge
}

TEST(BlendFrameTest, OpaqueCopiesTransparentKeepsPartialBlendsInIntegers) {
  imaging::Bitmap canvas = Solid(3, 1, {100, 100, 100, 9});
  imaging::Bitmap frame = Solid(3, 1, {200, 0, 50, 255});
  SetPixel(frame, 1, 0, {200, 0, 50, 0});
  SetPixel(frame, 2, 0, {200, 0, 50, 128});
  BlendFrame(canvas, frame, 0, 0);
  EXPECT_TRUE(PixelIs(canvas, 0, 0, {200, 0, 50, 255}));
  EXPECT_TRUE(PixelIs(canvas, 1, 0, {100, 100, 100, 9}));
  // (200 x 128 + 100 x 127) / 255 = 150; (0 + 100 x 127) / 255 = 49; (50 x 128 + 12700) / 255 = 74
  EXPECT_TRUE(PixelIs(canvas, 2, 0, {150, 49, 74, 255}));
}

TEST(BlendFrameTest, SkipsPixelsOffEveryEdgeOfTheCanvas) {
  imaging::Bitmap canvas = Solid(3, 3, kWhite);
  BlendFrame(canvas, Solid(2, 2, kRed), 2, 2);
  EXPECT_TRUE(PixelIs(canvas, 2, 2, kRed));
  EXPECT_TRUE(PixelIs(canvas, 1, 1, kWhite));

  canvas = Solid(3, 3, kWhite);
  BlendFrame(canvas, Solid(2, 2, kRed), -1, -1);
  EXPECT_TRUE(PixelIs(canvas, 0, 0, kRed));
  EXPECT_TRUE(PixelIs(canvas, 1, 0, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 0, 1, kWhite));

  BlendFrame(canvas, Solid(2, 2, kBlue), -5, 0);
  BlendFrame(canvas, Solid(2, 2, kBlue), 0, int64_t{1} << 40);
  EXPECT_TRUE(PixelIs(canvas, 0, 0, kRed));
}

// 20 x 16 page, margins left 2 right 2 top 1 bottom 1, 2 rows x 3 cols: usable 16 x 14, cells 5 x 7.
GridJob SmallGridJob() {
  GridJob job;
  job.pageWidth = 20;
  job.pageHeight = 16;
  job.marginLeft = 2;
  job.marginRight = 2;
  job.marginTop = 1;
  job.marginBottom = 1;
  job.rows = 2;
  job.cols = 3;
  job.dpi = 0;  // 300 for this short page: 0.1 mm gives the 3-pixel minimum
  job.cutGridColor = "black";
  job.showCutGrid = true;
  return job;
}

TEST(DrawCutLinesTest, InnerBoundariesOnlyCentredOnTheCellEdges) {
  const GridJob job = SmallGridJob();
  std::string problem;
  const SheetGeometry geometry = ComputeSheetGeometry(job, problem).value();
  imaging::Bitmap canvas = Solid(20, 16, kWhite);
  DrawCutLines(canvas, job, geometry, {});
  constexpr Rgba kBlack{0, 0, 0, 255};
  // Vertical lines: columns 6..8 and 11..13 over rows 1..14. Horizontal: rows 7..9 over columns 2..17.
  EXPECT_TRUE(PixelIs(canvas, 6, 1, kBlack));
  EXPECT_TRUE(PixelIs(canvas, 8, 14, kBlack));
  EXPECT_TRUE(PixelIs(canvas, 13, 3, kBlack));
  EXPECT_TRUE(PixelIs(canvas, 5, 1, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 9, 3, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 6, 0, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 6, 15, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 2, 7, kBlack));
  EXPECT_TRUE(PixelIs(canvas, 17, 9, kBlack));
  EXPECT_TRUE(PixelIs(canvas, 1, 7, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 18, 9, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 4, 10, kWhite));
  int black = 0;
  for (int32_t y = 0; y < 16; ++y) {
    for (int32_t x = 0; x < 20; ++x) black += canvas.pixel(x, y)[0] == 0;
  }
  EXPECT_EQ(black, 2 * 3 * 14 + 3 * 16 - 2 * 3 * 3);  // two verticals, one horizontal, six crossings
}

TEST(DrawCutLinesTest, LinesPastTheCanvasAreClipped) {
  GridJob job = SmallGridJob();
  job.cutGridWidthMm = 1e6;  // far wider than the page
  job.cutGridColor = "gray";
  std::string problem;
  const SheetGeometry geometry = ComputeSheetGeometry(job, problem).value();
  imaging::Bitmap canvas = Solid(20, 16, kWhite);
  DrawCutLines(canvas, job, geometry, {});
  // Each band still spans only the usable area along its length.
  constexpr Rgba kGray{145, 145, 145, 255};
  EXPECT_TRUE(PixelIs(canvas, 0, 1, kGray));  // vertical bands: every column, rows 1..14
  EXPECT_TRUE(PixelIs(canvas, 19, 14, kGray));
  EXPECT_TRUE(PixelIs(canvas, 2, 0, kGray));  // horizontal band: every row, columns 2..17
  EXPECT_TRUE(PixelIs(canvas, 17, 15, kGray));
  EXPECT_TRUE(PixelIs(canvas, 0, 0, kWhite));
  EXPECT_TRUE(PixelIs(canvas, 19, 15, kWhite));
}

// Files in a fresh folder of their own, removed at the end.
class SheetFileTest : public ::testing::Test {
 protected:
  std::string PathOf(const std::string& name) const { return dir_.File(name); }

  std::string WritePhoto(const std::string& name, int32_t width, int32_t height, Rgba color) {
    const std::string path = PathOf(name);
    EXPECT_TRUE(WriteJpeg(Solid(width, height, color), path, 100, testing::Codec()));
    return path;
  }

  // An uncompressed 32-bit TGA (top-left origin, B, G, R, A order): a frame with real transparency.
  std::string WriteFrame(const std::string& name, const imaging::Bitmap& image) {
    const std::string path = PathOf(name);
    std::vector<uint8_t> bytes(18, 0);
    bytes[2] = 2;  // true colour
    bytes[12] = static_cast<uint8_t>(image.width_px), bytes[13] = static_cast<uint8_t>(image.width_px >> 8);
    bytes[14] = static_cast<uint8_t>(image.height_px), bytes[15] = static_cast<uint8_t>(image.height_px >> 8);
    bytes[16] = 32;
    bytes[17] = 0x28;  // 8 alpha bits, rows from the top
    for (int32_t y = 0; y < image.height_px; ++y) {
      for (int32_t x = 0; x < image.width_px; ++x) {
        const uint8_t* p = image.pixel(x, y);
        bytes.insert(bytes.end(), {p[2], p[1], p[0], p[3]});
      }
    }
    test_support::WriteBytes(path, bytes);
    return path;
  }

  test_support::TempFolder dir_;
};

TEST_F(SheetFileTest, ComposesPhotosFramesAndEmptyCellsIntoPageSizedJpegs) {
  GridJob job;
  job.pageWidth = 60;
  job.pageHeight = 40;
  job.marginLeft = job.marginRight = job.marginTop = job.marginBottom = 0;
  job.rows = 1;
  job.cols = 2;  // two 30 x 40 portrait magnets per sheet
  job.jpegQuality = 100;
  job.images = {WritePhoto("red.jpg", 30, 40, kRed), PathOf("missing.jpg"), WritePhoto("blue.jpg", 40, 30, kBlue)};
  // Frame of the first photo: opaque green on the left half, transparent on the right.
  imaging::Bitmap frame = Solid(30, 40, {0, 0, 0, 0});
  for (int32_t y = 0; y < 40; ++y) {
    for (int32_t x = 0; x < 15; ++x) SetPixel(frame, x, y, {0, 200, 0, 255});
  }
  job.frames = {WriteFrame("frame.tga", frame)};
  job.outputs = {PathOf("sheet_1.jpg"), PathOf("sheet_2.jpg")};
  std::string problem;
  const SheetGeometry geometry = ComputeSheetGeometry(job, problem).value();

  SheetCounters counters;
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(ComposeSheet(job, geometry, 0, testing::Codec(), counters));
  EXPECT_TRUE(ComposeSheet(job, geometry, 1, testing::Codec(), counters));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(counters.done.load(), 3);  // the missing photo counts as done, without a progress line
  EXPECT_EQ(log.find("Mosalith: [2/3]"), std::string::npos) << log;
  EXPECT_EQ(counters.saved.load(), 2);
  EXPECT_NE(log.find("Mosalith: [3/3]\n"), std::string::npos) << log;
  EXPECT_LT(log.find("Mosalith: Saved page 1/2\n"), log.find("Mosalith: Saved page 2/2\n")) << log;

  // The sheet states the job's resolution (450 dpi by default) as its JFIF density.
  const std::vector<uint8_t> bytes = test_support::ReadBytes(job.outputs[0]);
  ASSERT_GE(bytes.size(), 18u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 13, bytes.begin() + 18), (std::vector<uint8_t>{1, 1, 0xC2, 1, 0xC2}));

  std::optional<imaging::Bitmap> first = testing::LoadImage(job.outputs[0], testing::Codec());
  ASSERT_TRUE(first);
  EXPECT_EQ(first->width_px, 60);
  EXPECT_EQ(first->height_px, 40);
  EXPECT_TRUE(PixelIs(*first, 4, 20, {0, 200, 0, 255}, 12));  // frame's opaque half
  EXPECT_TRUE(PixelIs(*first, 25, 20, kRed, 12));            // photo through the transparent half
  EXPECT_TRUE(PixelIs(*first, 45, 20, kWhite, 12));          // photo that could not be loaded

  std::optional<imaging::Bitmap> second = testing::LoadImage(job.outputs[1], testing::Codec());
  ASSERT_TRUE(second);
  EXPECT_EQ(second->width_px, 60);
  EXPECT_TRUE(PixelIs(*second, 15, 20, kBlue, 12));  // landscape photo turned into the portrait magnet
  EXPECT_TRUE(PixelIs(*second, 45, 20, kWhite, 12));  // no photo left for this cell
}

// Whether every pixel of [x0, x1) x [y0, y1) passes `test`.
template <class Test>
bool AllPixels(const imaging::Bitmap& image, int32_t x0, int32_t y0, int32_t x1, int32_t y1, Test test) {
  for (int32_t y = y0; y < y1; ++y) {
    for (int32_t x = x0; x < x1; ++x) {
      if (!test(image.pixel(x, y))) return false;
    }
  }
  return true;
}

bool Dark(const uint8_t* p) { return p[0] < 80 && p[1] < 80 && p[2] < 80; }

TEST_F(SheetFileTest, BleedReachesPastTheCutEdgesAndMarksStayOffPhotosAndEmptyCells) {
  // 2 x 2 magnets of 40 x 30 with 12-pixel gaps and 20-pixel margins; three photos.
  GridJob job;
  job.pageWidth = 20 + 40 + 12 + 40 + 20;
  job.pageHeight = 20 + 30 + 12 + 30 + 20;
  job.marginLeft = job.marginRight = job.marginTop = job.marginBottom = 20;
  job.gapPx = 12;
  job.bleedPx = 4;
  job.cutGuides = "marks";
  job.cutGridColor = "black";
  job.dpi = 300;
  job.jpegQuality = 100;
  const std::string red = WritePhoto("red.jpg", 200, 150, kRed);
  job.images = {red, red, red};
  job.outputs = {PathOf("sheet.jpg")};
  std::string problem;
  const SheetGeometry geometry = ComputeSheetGeometry(job, problem).value();
  SheetCounters counters;
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(ComposeSheet(job, geometry, 0, testing::Codec(), counters));
  ::testing::internal::GetCapturedStderr();
  const std::optional<imaging::Bitmap> sheet = testing::LoadImage(job.outputs[0], testing::Codec());
  ASSERT_TRUE(sheet);

  // The first magnet is [20, 60) x [20, 50): its photo reaches 4 pixels past every cut edge, no further.
  EXPECT_TRUE(PixelIs(*sheet, 17, 35, kRed, 16));
  EXPECT_TRUE(PixelIs(*sheet, 62, 35, kRed, 16));
  EXPECT_TRUE(PixelIs(*sheet, 40, 52, kRed, 16));
  EXPECT_TRUE(PixelIs(*sheet, 14, 35, kWhite, 16));
  EXPECT_TRUE(PixelIs(*sheet, 66, 35, kWhite, 16));
  EXPECT_TRUE(PixelIs(*sheet, 40, 56, kWhite, 16));
  // Marks: in the top margin on the line of the first cut (x = 20), and across the gap between the rows.
  EXPECT_TRUE(Dark(sheet->pixel(20, 5)));
  EXPECT_TRUE(Dark(sheet->pixel(20, 56)));
  // None on a photo (bleed included) nor anywhere in the empty fourth cell and its bleed.
  for (int64_t cell = 0; cell < 4; ++cell) {
    const PixelRect box = BleedBoxOf(job, geometry, cell / 2, cell % 2);
    EXPECT_TRUE(AllPixels(*sheet, int32_t(box.x_px) + 1, int32_t(box.y_px) + 1, int32_t(box.right_px()) - 1,
                          int32_t(box.bottom_px()) - 1, [](const uint8_t* p) { return !Dark(p); }))
        << "cell " << cell;
  }
  EXPECT_TRUE(AllPixels(*sheet, 72 - 4, 62 - 4, 112 + 4, 92 + 4, [](const uint8_t* p) { return p[1] > 230; }));
}

TEST_F(SheetFileTest, FaceAwareCropsKeepTheFaceAndUprightPhotosAreNotTurned) {
  // A tall photo whose "face" (blue) sits near its top, in a square magnet: the centre crop cuts it off.
  imaging::Bitmap portrait = Solid(60, 120, kRed);
  for (int32_t y = 8; y < 24; ++y) {
    for (int32_t x = 20; x < 40; ++x) SetPixel(portrait, x, y, kBlue);
  }
  const std::string tall = PathOf("tall.jpg");
  ASSERT_TRUE(WriteJpeg(portrait, tall, 100, testing::Codec()));
  // A landscape photo, red on the left half, blue on the right.
  imaging::Bitmap wide = Solid(80, 40, kRed);
  for (int32_t y = 0; y < 40; ++y) {
    for (int32_t x = 40; x < 80; ++x) SetPixel(wide, x, y, kBlue);
  }
  const std::string landscape = PathOf("wide.jpg");
  ASSERT_TRUE(WriteJpeg(wide, landscape, 100, testing::Codec()));

  auto compose = [&](GridJob job) {
    job.marginLeft = job.marginRight = job.marginTop = job.marginBottom = 0;
    job.jpegQuality = 100;
    job.outputs = {PathOf("sheet.jpg")};
    std::string problem;
    const SheetGeometry geometry = ComputeSheetGeometry(job, problem).value();
    SheetCounters counters;
    ::testing::internal::CaptureStderr();
    EXPECT_TRUE(ComposeSheet(job, geometry, 0, testing::Codec(), counters));
    ::testing::internal::GetCapturedStderr();
    return testing::LoadImage(job.outputs[0], testing::Codec()).value_or(imaging::Bitmap());
  };
  GridJob square;
  square.rows = square.cols = 1;
  square.pageWidth = square.pageHeight = 60;
  square.images = {tall};
  square.faces = {{FaceArea{20 / 60.0, 8 / 120.0, 20 / 60.0, 16 / 120.0}}};
  EXPECT_TRUE(PixelIs(compose(square), 30, 10, kRed, 16));  // faces named, but not asked for: centred
  square.faceAwareCrop = true;
  const imaging::Bitmap kept = compose(square);
  ASSERT_FALSE(kept.empty());
  EXPECT_TRUE(PixelIs(kept, 30, 15, kBlue, 16));  // the window starts at row 0: the face at rows 8..23
  EXPECT_TRUE(PixelIs(kept, 30, 40, kRed, 16));

  GridJob upright;
  upright.rows = upright.cols = 1;
  upright.pageWidth = 30;
  upright.pageHeight = 40;
  upright.images = {landscape};
  const imaging::Bitmap turned = compose(upright);  // turned clockwise: red on top, blue below
  EXPECT_TRUE(PixelIs(turned, 15, 5, kRed, 16));
  EXPECT_TRUE(PixelIs(turned, 15, 35, kBlue, 16));
  upright.rotateToFit = false;  // upright, covering: the middle 30 columns, red then blue
  const imaging::Bitmap kept_upright = compose(upright);
  EXPECT_TRUE(PixelIs(kept_upright, 5, 20, kRed, 16));
  EXPECT_TRUE(PixelIs(kept_upright, 25, 20, kBlue, 16));
}

TEST_F(SheetFileTest, ACoverFrameKeepsItsShapeWhereAStretchedOneIsSquashed) {
  imaging::Bitmap frame = Solid(40, 20, {0, 0, 0, 0});  // wide, with an opaque green band on its left edge
  for (int32_t y = 0; y < 20; ++y) {
    for (int32_t x = 0; x < 4; ++x) SetPixel(frame, x, y, {0, 200, 0, 255});
  }
  GridJob job;
  job.rows = job.cols = 1;
  job.pageWidth = 30;
  job.pageHeight = 40;
  job.marginLeft = job.marginRight = job.marginTop = job.marginBottom = 0;
  job.jpegQuality = 100;
  job.images = {WritePhoto("red.jpg", 30, 40, kRed)};
  job.frames = {WriteFrame("band.tga", frame)};
  job.outputs = {PathOf("sheet.jpg")};
  std::string problem;
  const SheetGeometry geometry = ComputeSheetGeometry(job, problem).value();
  for (const char* fit : {"stretch", "cover"}) {
    job.frameFit = fit;
    SheetCounters counters;
    ::testing::internal::CaptureStderr();
    ASSERT_TRUE(ComposeSheet(job, geometry, 0, testing::Codec(), counters));
    ::testing::internal::GetCapturedStderr();
    const std::optional<imaging::Bitmap> sheet = testing::LoadImage(job.outputs[0], testing::Codec());
    ASSERT_TRUE(sheet);
    // The wide frame is turned to the tall magnet first: the band runs along its top. Stretched to 30 x 40
    // it keeps 8 rows; covering, the frame is scaled to 30 x 60 and centred, and the band lies above the
    // magnet.
    EXPECT_TRUE(PixelIs(*sheet, 15, 2, job.frameFit == "cover" ? kRed : Rgba{0, 200, 0, 255}, 40)) << fit;
  }
}

TEST_F(SheetFileTest, UnwritableSheetIsReportedAndNotCountedAsSaved) {
  GridJob job;
  job.pageWidth = 20;
  job.pageHeight = 20;
  job.marginLeft = job.marginRight = job.marginTop = job.marginBottom = 0;
  job.images = {PathOf("missing.jpg")};
  job.outputs = {PathOf("no-such-folder/sheet.jpg")};
  std::string problem;
  const SheetGeometry geometry = ComputeSheetGeometry(job, problem).value();
  SheetCounters counters;
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(ComposeSheet(job, geometry, 0, testing::Codec(), counters));
  const std::string log = ::testing::internal::GetCapturedStderr();
  // The photo that cannot be used is named with its reason; the sheet that cannot be written after it.
  EXPECT_EQ(log, "Mosalith: Photo 0 skipped (" + job.images[0] + "): file not found\n"
                 "Mosalith: Failed to write page 1: " + job.outputs[0] + "\n");
  EXPECT_EQ(counters.saved.load(), 0);
}

}  // namespace
}  // namespace mosalith
