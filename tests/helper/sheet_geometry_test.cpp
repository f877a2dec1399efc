// Tests for sheet geometry: cells, magnets, layout checks and cut line parameters.
#include "helper/sheet_geometry.h"

#include <gtest/gtest.h>

#include "tests/helper/test_images.h"

#include <limits>

namespace mosalith {
namespace {

SheetGeometry GeometryOf(const GridJob& job) {
  std::string problem;
  std::optional<SheetGeometry> geometry = ComputeSheetGeometry(job, problem);
  EXPECT_TRUE(geometry) << problem;
  return geometry.value_or(SheetGeometry{});
}

std::string ProblemOf(const GridJob& job) {
  std::string problem;
  EXPECT_FALSE(ComputeSheetGeometry(job, problem));
  return problem;
}

TEST(SheetGeometryTest, DefaultJobHasPortraitMagnetsFillingTheirCells) {
  const GridJob job;
  const SheetGeometry geometry = GeometryOf(job);
  EXPECT_EQ(geometry.usable_width_px, 1818);
  EXPECT_EQ(geometry.usable_height_px, 2413);
  EXPECT_EQ(geometry.cell_width_px, 909);
  EXPECT_EQ(geometry.cell_height_px, 1206);
  EXPECT_EQ(geometry.magnet_width_px, 909);
  EXPECT_EQ(geometry.magnet_height_px, 1206);
  EXPECT_TRUE(geometry.magnet_shape.portrait);
  EXPECT_FALSE(geometry.magnet_shape.landscape);
  EXPECT_EQ(geometry.cells_per_sheet, 4);

  const CellOrigin origin = CellOriginOf(job, geometry, 1, 1);
  EXPECT_EQ(origin.x_px, 18 + 909);
  EXPECT_EQ(origin.y_px, 16 + 1206);
}

TEST(SheetGeometryTest, AspectRatioShrinksTheMagnetWithinItsCell) {
  GridJob job;
  job.magnetAspectRatio = 1.0;  // 909 / 1206 < 1: the height gives way
  SheetGeometry geometry = GeometryOf(job);
  EXPECT_EQ(geometry.magnet_width_px, 909);
  EXPECT_EQ(geometry.magnet_height_px, 909);
  EXPECT_FALSE(geometry.magnet_shape.portrait);
  EXPECT_FALSE(geometry.magnet_shape.landscape);

  job.magnetAspectRatio = 0.5;  // narrower than the cell: the width gives way, 0.5 x 1206
  geometry = GeometryOf(job);
  EXPECT_EQ(geometry.magnet_width_px, 603);
  EXPECT_EQ(geometry.magnet_height_px, 1206);

  job.magnetAspectRatio = 1.5;  // 909 / 1.5 = 606, a landscape magnet
  geometry = GeometryOf(job);
  EXPECT_EQ(geometry.magnet_width_px, 909);
  EXPECT_EQ(geometry.magnet_height_px, 606);
  EXPECT_TRUE(geometry.magnet_shape.landscape);

  job.magnetAspectRatio = -2;  // not above 0: the magnet fills the cell
  EXPECT_EQ(GeometryOf(job).magnet_width_px, 909);

  job.magnetAspectRatio = 1e-9;  // the in-process composer's magnet is the whole cell, whatever is asked
  std::string problem;
  const std::optional<SheetGeometry> whole = ComputeSheetGeometry(job, problem, MagnetSizing::kWholeCell);
  ASSERT_TRUE(whole) << problem;
  EXPECT_EQ(whole->magnet_width_px, 909);
  EXPECT_EQ(whole->magnet_height_px, 1206);
  EXPECT_TRUE(whole->magnet_shape.portrait);
}

TEST(SheetGeometryTest, LayoutsWithEmptyCellsOrMagnetsAreRefused) {
  GridJob job;
  job.rows = 0;
  EXPECT_NE(ProblemOf(job).find("rows and cols must be at least 1"), std::string::npos);
  job = GridJob{};
  job.cols = -3;
  ProblemOf(job);

  job = GridJob{};
  job.pageWidth = 0;
  ProblemOf(job);

  job = GridJob{};
  job.pageWidth = 37;  // usable width 1 < 2 columns
  ProblemOf(job);
  job.pageWidth = 38;  // exactly one pixel per column is still a layout
  EXPECT_EQ(GeometryOf(job).cell_width_px, 1);

  job = GridJob{};
  job.marginTop = 3000;  // negative usable height
  ProblemOf(job);

  job = GridJob{};
  job.marginLeft = std::numeric_limits<int32_t>::min();  // usable width beyond int32
  job.marginRight = std::numeric_limits<int32_t>::min();
  ProblemOf(job);

  job = GridJob{};
  job.magnetAspectRatio = 1e-9;  // magnet width truncates to 0
  EXPECT_NE(ProblemOf(job).find("Magnet size 0x1206"), std::string::npos);
  job.magnetAspectRatio = 1e300;  // magnet height truncates to 0
  ProblemOf(job);
}

TEST(SheetGeometryTest, RefusedLayoutsSayWhy) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  using testing::LayoutJob;
  GridJob overflow = LayoutJob(1, 1, 1000, 1000);
  overflow.marginLeft = kMin;
  overflow.marginRight = kMin;
  const std::pair<GridJob, std::string> cases[] = {
      {LayoutJob(0, 2, 100, 100), "Invalid grid 0x2: rows and cols must be at least 1"},
      {LayoutJob(2, -1, 100, 100), "Invalid grid 2x-1: rows and cols must be at least 1"},
      {LayoutJob(1, 1, 0, 100), "Invalid page size 0x100"},
      {LayoutJob(1, 1, 40000, 10), "Invalid page size 40000x10"},
      {LayoutJob(1, 1, 30000, 30000), "Invalid page size 30000x30000"},  // beyond the pixel budget
      {LayoutJob(1, 1, kMax, kMax), "Invalid page size 2147483647x2147483647"},
      {LayoutJob(3, 3, 100, 100, 49), "Usable area 2x2 does not fit a 3x3 grid of cells at least 1 pixel in size"},
      {overflow, "Usable area 4294968296x1000 does not fit a 1x1 grid of cells at least 1 pixel in size"},
  };
  for (const auto& [job, expected] : cases) {
    for (const MagnetSizing sizing : {MagnetSizing::kAspectRatio, MagnetSizing::kWholeCell}) {
      std::string problem;
      EXPECT_FALSE(ComputeSheetGeometry(job, problem, sizing)) << expected;
      EXPECT_EQ(problem, expected);
    }
  }
}

TEST(SheetGeometryTest, CutLineWidthFollowsTheResolutionWithAFloorOfThree) {
  GridJob job;
  EXPECT_EQ(CutLineResolution(job), 450.0);
  EXPECT_EQ(CutLineWidthPx(job), 3);  // 0.1 mm at 450 dpi is 1.77 pixels
  job.cutGridWidthMm = 2;
  EXPECT_EQ(CutLineWidthPx(job), 35);
  EXPECT_EQ(CutLineHalfWidthPx(35), 17);
  EXPECT_EQ(CutLineHalfWidthPx(3), 1);

  job.dpi = 0;
  job.pageHeight = 2400;
  EXPECT_EQ(CutLineResolution(job), 300.0);
  EXPECT_EQ(CutLineWidthPx(job), 23);  // 2 mm at 300 dpi is 23.6
  job.pageHeight = 2401;
  EXPECT_EQ(CutLineResolution(job), 450.0);
  job.dpi = -5;
  EXPECT_EQ(CutLineResolution(job), 450.0);

  job.cutGridWidthMm = -1;
  EXPECT_EQ(CutLineWidthPx(job), 3);
  job.cutGridWidthMm = 1e300;  // no undefined conversion of a huge width
  EXPECT_EQ(CutLineWidthPx(job), std::numeric_limits<int32_t>::max());
}

TEST(SheetGeometryTest, TheSheetStatesTheCutLineResolutionAsWholeDotsPerInch) {
  GridJob job;
  job.dpi = 300.6;
  EXPECT_EQ(SheetDensityDpi(job), 301);
  job.dpi = 0;
  job.pageHeight = 2400;
  EXPECT_EQ(SheetDensityDpi(job), 300);
  job.dpi = 1e300;  // limited to what the file can hold
  EXPECT_EQ(SheetDensityDpi(job), 65535);
  job.dpi = 0.2;
  EXPECT_EQ(SheetDensityDpi(job), 1);
}

TEST(SheetGeometryTest, SheetQualityZeroMeansNinetyOthersAreLimited) {
  EXPECT_EQ(SheetJpegQuality(0), 90);
  EXPECT_EQ(SheetJpegQuality(-3), 1);
  EXPECT_EQ(SheetJpegQuality(150), 100);
  EXPECT_EQ(SheetJpegQuality(95), 95);
}

TEST(SheetGeometryTest, CutLineColoursByExactName) {
  EXPECT_EQ(CutLineColor("black"), (Rgb{0, 0, 0}));
  EXPECT_EQ(CutLineColor("white"), (Rgb{255, 255, 255}));
  EXPECT_EQ(CutLineColor("gray"), (Rgb{145, 145, 145}));
  EXPECT_EQ(CutLineColor("grey"), (Rgb{145, 145, 145}));
  EXPECT_EQ(CutLineColor("lightGray"), (Rgb{191, 191, 191}));
  EXPECT_EQ(CutLineColor("lightGrey"), (Rgb{191, 191, 191}));
  for (const char* other : {"darkGray", "Black", "black ", "", "red"}) {
    EXPECT_EQ(CutLineColor(other), (Rgb{98, 98, 98})) << other;
  }
}

}  // namespace
}  // namespace mosalith
