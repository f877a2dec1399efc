// GridComposer: where a photo lands in its cell, and the sheets it writes (the layout is the helper's:
// tests/helper/sheet_geometry_test.cpp).
#include "runner/printing/sheets/grid_composer.h"

#include <errno.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <numbers>

#include <gtest/gtest.h>

#include "imaging/colour/colour_profile.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_file_system.h"
#include "platform/fake/fake_graphics.h"
#include "tests/helper/test_images.h"
#include "tests/runner/system_adapters.h"
#include "tests/support/temp_folder.h"

namespace runner::printing {
namespace {

using mosalith::testing::LayoutJob;

// The layout of cells `width_px` x `height_px`, each a whole magnet.
mosalith::SheetGeometry Cells(int32_t width_px, int32_t height_px) {
  mosalith::SheetGeometry layout;
  layout.cell_width_px = layout.magnet_width_px = width_px;
  layout.cell_height_px = layout.magnet_height_px = height_px;
  layout.magnet_shape = mosalith::MagnetShapeOf(width_px, height_px);
  return layout;
}

TEST(PhotoFitTest, ALandscapePhotoInAPortraitCellIsTurnedAndCentred) {
  const mosalith::SheetGeometry layout = Cells(909, 1206);
  const PhotoFit fit = FitPhotoInCell(layout, 4000, 3000);
  EXPECT_TRUE(fit.rotate);
  EXPECT_EQ(fit.scaled_width_px, 1206);
  EXPECT_EQ(fit.scaled_height_px, 904);
  EXPECT_EQ(fit.offset_x_px, 2);
  EXPECT_EQ(fit.offset_y_px, 0);
  EXPECT_EQ(fit.drawn_width_px, 904);
  EXPECT_EQ(fit.drawn_height_px, 1206);
  EXPECT_EQ(fit.source_x_px, 0);

  const PhotoFit upright = FitPhotoInCell(layout, 3000, 4000);  // already the cell's shape
  EXPECT_FALSE(upright.rotate);
  EXPECT_EQ(upright.scaled_width_px, 904);
  EXPECT_EQ(upright.scaled_height_px, 1206);

  const mosalith::SheetGeometry square = Cells(500, 500);
  const PhotoFit wide = FitPhotoInCell(square, 1000, 100);  // square cells never turn
  EXPECT_FALSE(wide.rotate);
  EXPECT_EQ(wide.scaled_width_px, 500);
  EXPECT_EQ(wide.scaled_height_px, 50);
  EXPECT_EQ(wide.offset_y_px, 225);
  EXPECT_EQ(FitPhotoInCell(square, 100000, 1).scaled_height_px, 0);  // too thin to show
}

// The composer over the fakes: pictures registered by path, sheets read back from the fake encoding.
class GridComposerTest : public ::testing::Test {
 protected:
  static constexpr uint32_t kRed = 0xFFFF0000;
  static constexpr uint32_t kBlue = 0xFF0000FF;
  static constexpr uint32_t kGreen = 0xFF00FF00;
  static constexpr uint32_t kWhite = 0xFFFFFFFF;

  void SetUp() override { files_.AddFolder("/out"); }

  GridResult Compose(const mosalith::GridJob& request) {
    ::testing::internal::CaptureStderr();
    GridResult result = GridComposer(request, &graphics_, files_, clock_);
    log_ = ::testing::internal::GetCapturedStderr();
    return result;
  }
  imaging::Bitmap Sheet(const std::string& path) {
    const std::optional<std::vector<uint8_t>> bytes = files_.Contents(path);
    EXPECT_TRUE(bytes) << path;
    std::optional<imaging::Bitmap> sheet = bytes ? platform::FakeGraphics::ReadEncoded(*bytes) : std::nullopt;
    EXPECT_TRUE(sheet) << path;
    return sheet.value_or(imaging::Bitmap{});
  }
  static uint32_t Argb(const imaging::Bitmap& image, int x, int y) {
    const uint8_t* p = image.pixel(x, y);
    return uint32_t{p[3]} << 24 | uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2];
  }
  // A picture whose left half is `left` and right half `right`.
  static imaging::Bitmap Halves(int width, int height, uint32_t left, uint32_t right) {
    imaging::Bitmap image = *imaging::MakeBitmap(width, height, left);
    const imaging::Bitmap right_half = *imaging::MakeBitmap(1, 1, right);
    for (int y = 0; y < height; ++y) {
      for (int x = width / 2; x < width; ++x) std::memcpy(image.pixel(x, y), right_half.pixel(0, 0), 4);
    }
    return image;
  }

  platform::FakeGraphics graphics_;
  platform::FakeFileSystem files_;
  platform::FakeClock clock_;
  std::string log_;
};

TEST_F(GridComposerTest, ALandscapePhotoIsTurnedIntoItsPortraitCellAndCentred) {
  graphics_.AddPicture("/p/wide.jpg", Halves(4000, 3000, kRed, kBlue));
  mosalith::GridJob request = LayoutJob(2, 2, 1854, 2445);
  request.marginLeft = request.marginRight = 18;
  request.marginTop = request.marginBottom = 16;
  request.images = {"/p/wide.jpg"};
  request.outputs = {"/out/sheet.jpg"};
  const GridResult result = Compose(request);
  ASSERT_TRUE(result.success) << log_;
  const imaging::Bitmap sheet = Sheet("/out/sheet.jpg");
  ASSERT_EQ(sheet.width_px, 1854);
  ASSERT_EQ(sheet.height_px, 2445);
  // 904 x 1206 at (18 + 2, 16): the left half of the photo turned clockwise is its top half.
  EXPECT_EQ(Argb(sheet, 19, 500), kWhite);
  EXPECT_EQ(Argb(sheet, 20, 100), kRed);
  EXPECT_EQ(Argb(sheet, 923, 100), kRed);
  EXPECT_EQ(Argb(sheet, 924, 100), kWhite);
  EXPECT_EQ(Argb(sheet, 500, 16 + 1205), kBlue);
  EXPECT_EQ(Argb(sheet, 500, 16 + 1206), kWhite);
  EXPECT_EQ(Argb(sheet, 500, 15), kWhite);
  EXPECT_EQ(Argb(sheet, 1500, 500), kWhite);  // cells without a photo stay white
  // Decoded at no less than twice the drawn size, in the stored orientation.
  ASSERT_FALSE(graphics_.decode_options().empty());
  EXPECT_EQ(graphics_.decode_options()[0].min_width_px, 2412);
  EXPECT_EQ(graphics_.decode_options()[0].min_height_px, 1808);
  EXPECT_EQ(graphics_.jpeg_qualities(), std::vector<int>{95});
  EXPECT_EQ(graphics_.jpeg_densities(), std::vector<int>{static_cast<int>(request.dpi)});  // the sheet states its resolution
  EXPECT_NE(log_.find("DEBUG C++: GridComposer - 1 images, 2x2 grid, page 1854x2445, cell 909x1206, "
                      "cellPortrait=1, cellLandscape=0\n"), std::string::npos) << log_;
  EXPECT_NE(log_.find("DEBUG C++: TOTAL GridComposer: 0ms\n"), std::string::npos);
}

TEST_F(GridComposerTest, ExifOrientationIsHonouredBeforeTheFit) {
  // Stored 20 x 10 on its side; orientation 6 makes it 10 x 20, which fits a square cell as 50 x 100.
  graphics_.AddPicture("/p/side.jpg", Halves(20, 10, kRed, kBlue), 6);
  mosalith::GridJob request = LayoutJob(1, 1, 100, 100);
  request.images = {"/p/side.jpg"};
  request.outputs = {"/out/s.jpg"};
  ASSERT_TRUE(Compose(request).success) << log_;
  const imaging::Bitmap sheet = Sheet("/out/s.jpg");
  EXPECT_EQ(Argb(sheet, 24, 50), kWhite);
  EXPECT_EQ(Argb(sheet, 50, 10), kRed);   // turned clockwise: the stored left half is on top
  EXPECT_EQ(Argb(sheet, 50, 90), kBlue);
  EXPECT_EQ(Argb(sheet, 75, 50), kWhite);
}

TEST_F(GridComposerTest, PhotosAndFramesAreConvertedOnceIntoTheJobsColourSpace) {
  constexpr uint32_t kAdobeSage = 0xFF6E9678;  // (110, 150, 120) in Adobe RGB: (87, 151, 119) in sRGB
  graphics_.AddPicture("/p/green.jpg", *imaging::MakeBitmap(100, 100, kGreen));  // says nothing: sRGB
  graphics_.AddPicture("/p/adobe.jpg", *imaging::MakeBitmap(100, 100, kAdobeSage));
  imaging::ColourDescription adobe;
  adobe.icc_profile = imaging::colour::AdobeRgbProfile()->icc();
  graphics_.SetColour("/p/adobe.jpg", adobe);
  graphics_.AddPicture("/p/frame.png", Halves(100, 100, 0x00000000, kRed), 1, platform::ImageFormat::kPng);
  mosalith::GridJob request = LayoutJob(1, 2, 200, 100);
  request.images = {"/p/green.jpg", "/p/adobe.jpg"};
  request.frames = {"/p/frame.png", ""};
  request.outputs = {"/out/s.jpg"};
  const auto near = [](uint32_t argb, int r, int g, int b) {
    return std::abs(int((argb >> 16) & 0xFF) - r) <= 2 && std::abs(int((argb >> 8) & 0xFF) - g) <= 2 &&
           std::abs(int(argb & 0xFF) - b) <= 2;
  };

  request.colorProfile = "adobe_rgb";
  ASSERT_TRUE(Compose(request).success) << log_;
  imaging::Bitmap sheet = Sheet("/out/s.jpg");
  EXPECT_TRUE(near(Argb(sheet, 20, 50), 144, 255, 60)) << std::hex << Argb(sheet, 20, 50);  // sRGB green
  EXPECT_TRUE(near(Argb(sheet, 80, 50), 219, 0, 0)) << std::hex << Argb(sheet, 80, 50);     // the frame's red
  EXPECT_EQ(Argb(sheet, 150, 50), kAdobeSage);  // already in the output space: untouched

  request.colorProfile = "custom:/p/missing.icc";  // unusable: sRGB, said once
  ASSERT_TRUE(Compose(request).success) << log_;
  sheet = Sheet("/out/s.jpg");
  EXPECT_EQ(Argb(sheet, 20, 50), kGreen);
  EXPECT_TRUE(near(Argb(sheet, 150, 50), 87, 151, 119)) << std::hex << Argb(sheet, 150, 50);
  EXPECT_NE(log_.find("ERROR: custom colour profile unusable (/p/missing.icc: "), std::string::npos) << log_;

  for (const char* as_stored : {"no_conversion", ""}) {
    request.colorProfile = as_stored;
    ASSERT_TRUE(Compose(request).success) << log_;
    sheet = Sheet("/out/s.jpg");
    EXPECT_EQ(Argb(sheet, 20, 50), kGreen);
    EXPECT_EQ(Argb(sheet, 80, 50), kRed);
    EXPECT_EQ(Argb(sheet, 150, 50), kAdobeSage);
  }
}

TEST_F(GridComposerTest, FramesOnlyOverDrawnCellsAndExtraSheetsAreWhite) {
  imaging::Bitmap frame = *imaging::MakeBitmap(10, 10, 0x00000000);
  for (int x = 0; x < 10; ++x) std::memcpy(frame.pixel(x, 0), imaging::MakeBitmap(1, 1, kGreen)->pixel(0, 0), 4);
  graphics_.AddPicture("/f/top.png", frame, 1, platform::ImageFormat::kPng);
  graphics_.AddPicture("/p/a.jpg", *imaging::MakeBitmap(50, 50, kRed));
  graphics_.FailPath("/p/broken.jpg", platform::GraphicsStatus::kCorrupt);
  mosalith::GridJob request = LayoutJob(1, 2, 200, 100);
  request.images = {"/p/a.jpg", "/p/broken.jpg"};
  request.frames = {"/f/top.png", "/f/top.png"};
  request.outputs = {"/out/1.jpg", "/out/2.jpg", "/out/3.jpg"};
  request.jpegQuality = 0;
  const GridResult result = Compose(request);
  ASSERT_TRUE(result.success) << log_;  // an undecodable photo leaves its cell white
  const imaging::Bitmap first = Sheet("/out/1.jpg");
  EXPECT_EQ(Argb(first, 50, 2), kGreen);  // the frame is stretched over the whole cell
  EXPECT_EQ(Argb(first, 50, 50), kRed);
  EXPECT_EQ(Argb(first, 150, 2), kWhite);  // no photo drawn, so no frame either
  EXPECT_EQ(Argb(first, 150, 50), kWhite);
  for (const char* extra : {"/out/2.jpg", "/out/3.jpg"}) {
    const imaging::Bitmap sheet = Sheet(extra);
    ASSERT_EQ(sheet.width_px, 200);
    ASSERT_EQ(sheet.height_px, 100);
    for (size_t i = 0; i < sheet.rgba.size(); ++i) ASSERT_EQ(sheet.rgba[i], 255) << extra;
  }
  EXPECT_EQ(graphics_.jpeg_qualities(), (std::vector<int>{90, 90, 90}));
  EXPECT_EQ(SheetDensityDpi(request), request.dpi);
  request.dpi = 0;  // the helper's rule: 300 for pages up to 2400 pixels tall, else 450
  EXPECT_EQ(SheetDensityDpi(request), 300);
  request.pageHeight = 2401;
  EXPECT_EQ(SheetDensityDpi(request), 450);
}

TEST_F(GridComposerTest, ASheetThatCannotBeSavedFailsTheJobAfterTheOthers) {
  graphics_.AddPicture("/p/a.jpg", *imaging::MakeBitmap(50, 50, kRed));
  mosalith::GridJob request = LayoutJob(1, 1, 100, 100);
  request.images = {"/p/a.jpg", "/p/a.jpg", "/p/a.jpg"};
  request.outputs = {"/out/1.jpg", "/missing/2.jpg", "/out/3.jpg"};
  const GridResult result = Compose(request);
  EXPECT_FALSE(result.success);
  EXPECT_EQ(result.errorMessage, "Failed to save grid image: /missing/2.jpg");
  EXPECT_TRUE(files_.Exists("/out/1.jpg"));
  EXPECT_TRUE(files_.Exists("/out/3.jpg"));

  files_.FailWritesWith(platform::FakeFileSystem::DiskFull());
  EXPECT_EQ(Compose(request).errorMessage, "Failed to save grid image: /out/1.jpg");
  files_.FailWritesWith(base::Status::Ok());
  request.cols = 0;
  EXPECT_EQ(Compose(request).errorMessage, "Invalid grid 1x0: rows and cols must be at least 1");
  EXPECT_EQ(GridComposer(request, nullptr, files_, clock_).errorMessage,
            "Invalid grid 1x0: rows and cols must be at least 1");
  request.cols = 1;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(GridComposer(request, nullptr, files_, clock_).errorMessage, "Failed to initialize GDI+");
  ::testing::internal::GetCapturedStderr();
}

TEST_F(GridComposerTest, SheetsAlreadyWrittenAreNeitherLoadedNorReplaced) {
  graphics_.AddPicture("/p/a.jpg", *imaging::MakeBitmap(50, 50, kRed));
  mosalith::GridJob request = LayoutJob(1, 1, 100, 100);
  request.images = {"/p/a.jpg", "/p/a.jpg", "/p/a.jpg"};
  request.outputs = {"/out/1.jpg", "/out/2.jpg", "/out/3.jpg"};
  files_.AddFile("/out/1.jpg", {'h'});
  files_.AddFile("/out/3.jpg", {'h'});
  ::testing::internal::CaptureStderr();
  const GridResult result = GridComposer(request, &graphics_, files_, clock_, {true, false, true});
  log_ = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(result.success) << log_;
  EXPECT_EQ(files_.Contents("/out/1.jpg"), std::vector<uint8_t>{'h'});
  EXPECT_EQ(files_.Contents("/out/3.jpg"), std::vector<uint8_t>{'h'});
  EXPECT_EQ(Argb(Sheet("/out/2.jpg"), 50, 50), kRed);
  EXPECT_EQ(graphics_.decode_options().size(), 1u);
  EXPECT_NE(log_.find("DEBUG C++: Created 1 grid pages in "), std::string::npos) << log_;
}

// A zone plate (rings whose frequency grows with the distance from the centre, reaching one cycle per
// two pixels at the edge) as a PNG, composed into a cell a quarter of its size by the real composer.
// Beyond a quarter of its size from the centre the rings are finer than the reduced picture can show:
// a good reduction leaves an even grey there, a poor one leaves moire.
TEST(GridComposerZonePlateTest, AReducedZonePlateShowsNoMoire) {
  constexpr int kSize = 1024;
  const auto plate = mosalith::testing::MakeImage(kSize, kSize, [](int32_t x, int32_t y) {
    const double dx = x + 0.5 - kSize / 2.0, dy = y + 0.5 - kSize / 2.0;
    const auto grey = static_cast<uint32_t>(std::lround(127.5 + 127.0 * std::cos(std::numbers::pi * (dx * dx + dy * dy) / kSize)));
    return grey << 24 | grey << 16 | grey << 8 | 0xFFu;
  });
  test_support::TempFolder dir;
  test_support::WriteBytes(dir.File("plate.png"), mosalith::testing::PngFile(plate));
  mosalith::GridJob request = LayoutJob(1, 1, kSize / 4, kSize / 4);
  request.images = {dir.File("plate.png")};
  request.outputs = {dir.File("sheet.jpg")};
  request.jpegQuality = 100;
  request.colorProfile = "srgb";
  const std::unique_ptr<platform::Graphics> graphics = runner::testing::SystemGraphics();
  const std::unique_ptr<platform::FileSystem> files = runner::testing::SystemFileSystem(dir.str());
  platform::FakeClock clock;
  ::testing::internal::CaptureStderr();
  const GridResult result = GridComposer(request, graphics.get(), *files, clock);
  ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(result.success) << result.errorMessage;
  // The sheet carries the sRGB profile, as one APP2 segment right after its JFIF segment.
  const base::StatusOr<std::vector<uint8_t>> bytes = files->ReadFile(dir.File("sheet.jpg"), 1 << 26);
  ASSERT_TRUE(bytes.ok() && bytes->size() > 40);
  EXPECT_EQ(std::vector<uint8_t>(bytes->begin() + 20, bytes->begin() + 22), (std::vector<uint8_t>{0xFF, 0xE2}));
  const std::vector<uint8_t>& srgb = imaging::colour::SrgbProfile()->icc();
  EXPECT_NE(std::search(bytes->begin(), bytes->end(), srgb.begin(), srgb.end()), bytes->end());
  platform::DecodedImage sheet;
  ASSERT_EQ(graphics->Decode(dir.File("sheet.jpg"), {}, &sheet), platform::GraphicsStatus::kOk);
  int low = 255, high = 0;
  for (int y = 0; y < kSize / 4; ++y) {
    for (int x = 0; x < kSize / 4; ++x) {
      const double r = std::hypot(x + 0.5 - kSize / 8.0, y + 0.5 - kSize / 8.0);
      if (r < kSize / 16.0 || r > kSize / 8.0 - 3) continue;  // the flat part, inside the plate's circle
      low = std::min<int>(low, sheet.bitmap.pixel(x, y)[1]);
      high = std::max<int>(high, sheet.bitmap.pixel(x, y)[1]);
    }
  }
  EXPECT_LT(high - low, 10) << "flat part from " << low << " to " << high;
}

// 2 x 2 magnets of 40 x 30 with 12-pixel gaps and 20-pixel margins, as in the helper's sheet test.
mosalith::GridJob GappedRequest() {
  mosalith::GridJob request = LayoutJob(2, 2, 20 + 40 + 12 + 40 + 20, 20 + 30 + 12 + 30 + 20, 20);
  request.gapPx = 12;
  request.outputs = {"/out/sheet.jpg"};
  request.dpi = 300;
  return request;
}

TEST_F(GridComposerTest, BleedGapsMarksAndUprightPhotosAreDrawnAsTheHelperDrawsThem) {
  graphics_.AddPicture("/p/red.jpg", *imaging::MakeBitmap(200, 150, kRed));
  mosalith::GridJob request = GappedRequest();
  request.images = {"/p/red.jpg", "/p/red.jpg", "/p/red.jpg"};
  request.bleedPx = 4;  // the photos now cover their magnets and reach 4 pixels beyond them
  request.cutGuides = "marks";
  request.cutGridColor = "black";
  ASSERT_TRUE(Compose(request).success) << log_;
  imaging::Bitmap sheet = Sheet("/out/sheet.jpg");
  EXPECT_EQ(Argb(sheet, 20, 20), kRed);
  EXPECT_EQ(Argb(sheet, 16, 35), kRed);
  EXPECT_EQ(Argb(sheet, 63, 35), kRed);
  EXPECT_EQ(Argb(sheet, 15, 35), kWhite);
  EXPECT_EQ(Argb(sheet, 64, 35), kWhite);
  EXPECT_EQ(Argb(sheet, 20, 5), 0xFF000000u);   // a margin mark on the first cut
  EXPECT_EQ(Argb(sheet, 20, 56), 0xFF000000u);  // across the gap between the rows
  for (int y = 58; y < 96; ++y) {
    for (int x = 68; x < 116; ++x) ASSERT_EQ(Argb(sheet, x, y), kWhite) << x << "," << y;  // the empty cell
  }

  // Upright photos cover their magnets without the turn: the left half red, the right half blue.
  graphics_.AddPicture("/p/wide.jpg", Halves(80, 40, kRed, kBlue));
  request = GappedRequest();
  request.images = {"/p/wide.jpg"};
  request.rotateToFit = false;
  ASSERT_TRUE(Compose(request).success) << log_;
  sheet = Sheet("/out/sheet.jpg");
  EXPECT_EQ(Argb(sheet, 21, 35), kRed);
  EXPECT_EQ(Argb(sheet, 58, 35), kBlue);
  EXPECT_EQ(Argb(sheet, 19, 35), kWhite);  // no bleed asked for
}

TEST_F(GridComposerTest, ACoverFrameKeepsItsShapeWhereAStretchedOneIsSquashed) {
  // A wide frame with a green band along its left edge, over a tall magnet.
  imaging::Bitmap frame = *imaging::MakeBitmap(40, 20, 0x00000000);
  for (int y = 0; y < 20; ++y) {
    for (int x = 0; x < 4; ++x) std::memcpy(frame.pixel(x, y), imaging::MakeBitmap(1, 1, kGreen)->pixel(0, 0), 4);
  }
  graphics_.AddPicture("/f/band.png", frame, 1, platform::ImageFormat::kPng);
  graphics_.AddPicture("/p/red.jpg", *imaging::MakeBitmap(30, 40, kRed));
  mosalith::GridJob request = LayoutJob(1, 1, 30, 40);
  request.images = {"/p/red.jpg"};
  request.frames = {"/f/band.png"};
  request.outputs = {"/out/sheet.jpg"};
  ASSERT_TRUE(Compose(request).success) << log_;
  EXPECT_EQ(Argb(Sheet("/out/sheet.jpg"), 1, 20), kGreen);  // stretched: the band squashed to 3 pixels
  request.frameFit = "cover";  // scaled twice to 80 x 40 and centred: the band lies outside the magnet
  ASSERT_TRUE(Compose(request).success) << log_;
  EXPECT_EQ(Argb(Sheet("/out/sheet.jpg"), 1, 20), kRed);
}

TEST_F(GridComposerTest, TheNewKeysAtTheirDefaultsComposeAsARequestWithoutThem) {
  graphics_.AddPicture("/p/wide.jpg", Halves(400, 300, kRed, kBlue));
  mosalith::GridJob request = LayoutJob(2, 2, 300, 300, 10);
  request.images = {"/p/wide.jpg", "/p/wide.jpg", "/p/wide.jpg"};
  request.outputs = {"/out/sheet.jpg"};
  request.showCutGrid = true;
  ASSERT_TRUE(Compose(request).success) << log_;
  const std::optional<std::vector<uint8_t>> before = files_.Contents("/out/sheet.jpg");
  request.cutGuides = "";
  request.gapPx = request.bleedPx = 0;
  request.rotateToFit = true;
  request.faceAwareCrop = false;
  request.frameFit = "stretch";
  request.faces = {{mosalith::FaceArea{0.1, 0.1, 0.2, 0.2}}};  // faces alone do not move a crop
  ASSERT_TRUE(Compose(request).success) << log_;
  EXPECT_EQ(files_.Contents("/out/sheet.jpg"), before);
}

}  // namespace
}  // namespace runner::printing
