// GridComposer: the layout and its refusals, where a photo lands in its cell, and the sheets it writes.
#include "runner/printing/sheets/grid_composer.h"

#include <limits>

#include <gtest/gtest.h>

namespace runner::printing {
namespace {

SheetRequest Layout(int32_t rows, int32_t cols, int32_t width, int32_t height, int32_t margin = 0) {
  SheetRequest request;
  request.rows = rows;
  request.cols = cols;
  request.pageWidth = width;
  request.pageHeight = height;
  request.marginLeft = request.marginRight = request.marginTop = request.marginBottom = margin;
  return request;
}

TEST(ComposerLayoutTest, CellsDivideTheUsableArea) {
  std::string problem;
  SheetRequest request = Layout(2, 2, 1854, 2445);
  request.marginLeft = request.marginRight = 18;
  request.marginTop = request.marginBottom = 16;
  const std::optional<ComposerLayout> layout = ComputeComposerLayout(request, &problem);
  ASSERT_TRUE(layout) << problem;
  EXPECT_EQ(layout->cell_width_px, 909);
  EXPECT_EQ(layout->cell_height_px, 1206);
  EXPECT_TRUE(layout->cell_portrait);
  EXPECT_FALSE(layout->cell_landscape);
  EXPECT_EQ(layout->cells_per_sheet, 4);
}

TEST(ComposerLayoutTest, LayoutsTheHelperRefusesAreRefusedWithAReason) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  struct Case {
    SheetRequest request;
    std::string problem;
  };
  SheetRequest overflow = Layout(1, 1, 1000, 1000);
  overflow.marginLeft = kMin;
  overflow.marginRight = kMin;
  const Case cases[] = {
      {Layout(0, 2, 100, 100), "Invalid grid 0x2: rows and cols must be at least 1"},
      {Layout(2, -1, 100, 100), "Invalid grid 2x-1: rows and cols must be at least 1"},
      {Layout(1, 1, 0, 100), "Invalid page size 0x100"},
      {Layout(1, 1, 40000, 10), "Invalid page size 40000x10"},
      {Layout(1, 1, 30000, 30000), "Invalid page size 30000x30000"},  // beyond the pixel budget
      {Layout(1, 1, kMax, kMax), "Invalid page size 2147483647x2147483647"},
      {Layout(3, 3, 100, 100, 49), "Usable area 2x2 does not fit a 3x3 grid of cells at least 1 pixel in size"},
      {overflow, "Usable area 4294968296x1000 does not fit a 1x1 grid of cells at least 1 pixel in size"},
  };
  for (const Case& c : cases) {
    std::string problem;
    EXPECT_FALSE(ComputeComposerLayout(c.request, &problem)) << c.problem;
    EXPECT_EQ(problem, c.problem);
  }
}

TEST(PhotoFitTest, ALandscapePhotoInAPortraitCellIsTurnedAndCentred) {
  ComposerLayout layout;
  layout.cell_width_px = 909;
  layout.cell_height_px = 1206;
  layout.cell_portrait = true;
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

  ComposerLayout square;
  square.cell_width_px = square.cell_height_px = 500;
  const PhotoFit wide = FitPhotoInCell(square, 1000, 100);  // square cells never turn
  EXPECT_FALSE(wide.rotate);
  EXPECT_EQ(wide.scaled_width_px, 500);
  EXPECT_EQ(wide.scaled_height_px, 50);
  EXPECT_EQ(wide.offset_y_px, 225);
  EXPECT_EQ(FitPhotoInCell(square, 100000, 1).scaled_height_px, 0);  // too thin to show
}

TEST(PhotoFitTest, SheetQualityFollowsTheHelpersRule) {
  EXPECT_EQ(SheetJpegQuality(0), 90);
  EXPECT_EQ(SheetJpegQuality(-3), 1);
  EXPECT_EQ(SheetJpegQuality(150), 100);
  EXPECT_EQ(SheetJpegQuality(95), 95);
}

}  // namespace
}  // namespace runner::printing
