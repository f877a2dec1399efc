// Tests for the sheet layout with gaps and bleed, and the cut guides drawn on it: where each style puts
// its guides, that marks never touch a photo, and that empty cells get none.
#include "helper/cut_guides.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace mosalith {
namespace {

// A 3 x 3 grid of 100 x 88 magnets with 20-pixel gaps, centred on a 400 x 480 page.
GridJob GappedJob() {
  GridJob job;
  job.rows = 3;
  job.cols = 3;
  job.pageWidth = 400;
  job.pageHeight = 480;
  job.marginLeft = job.marginRight = 30;  // 400 - 2 x 30 = 3 x 100 + 2 x 20
  job.marginTop = job.marginBottom = 88;  // 480 - 2 x 88 = 3 x 88 + 2 x 20
  job.gapPx = 20;
  job.dpi = 300;  // 0.1 mm is the 3-pixel minimum line
  return job;
}

SheetGeometry GeometryOf(const GridJob& job) {
  std::string problem;
  const std::optional<SheetGeometry> geometry = ComputeSheetGeometry(job, problem);
  EXPECT_TRUE(geometry) << problem;
  return geometry.value_or(SheetGeometry{});
}

bool Overlap(const PixelRect& a, const PixelRect& b) {
  return a.x_px < b.right_px() && b.x_px < a.right_px() && a.y_px < b.bottom_px() && b.y_px < a.bottom_px();
}

std::vector<bool> FirstFilled(size_t count) { return std::vector<bool>(count, true); }

TEST(SheetLayoutTest, GapsSeparateTheCellsAndTheBleedStopsHalfWayToTheNeighbour) {
  GridJob job = GappedJob();
  job.pageHeight = 330;
  job.marginTop = job.marginBottom = 25;  // 330 - 50 = 280 = 3 x 80 + 2 x 20
  job.bleedPx = 15;
  const SheetGeometry g = GeometryOf(job);
  EXPECT_EQ(g.cell_width_px, 100);
  EXPECT_EQ(g.cell_height_px, 80);
  EXPECT_EQ(MagnetRectOf(job, g, 1, 2), (PixelRect{30 + 2 * 120, 25 + 100, 100, 80}));
  // Towards the margin the whole bleed; towards a neighbour half the 20-pixel gap.
  EXPECT_EQ(BleedBoxOf(job, g, 0, 0), (PixelRect{30 - 15, 25 - 15, 15 + 100 + 10, 15 + 80 + 10}));
  EXPECT_EQ(BleedBoxOf(job, g, 1, 1), (PixelRect{150 - 10, 125 - 10, 120, 100}));
  job.bleedPx = 4;
  EXPECT_EQ(BleedBoxOf(job, GeometryOf(job), 1, 1), (PixelRect{150 - 4, 125 - 4, 108, 88}));

  std::string problem;
  job.gapPx = 200;  // the gaps leave no room for the cells
  EXPECT_FALSE(ComputeSheetGeometry(job, problem));
  EXPECT_NE(problem.find("with gaps of 200 pixels"), std::string::npos);
  job.gapPx = -1;
  EXPECT_FALSE(ComputeSheetGeometry(job, problem));
  job.gapPx = 0;
  job.bleedPx = kMaxSpacingPx + 1;
  EXPECT_FALSE(ComputeSheetGeometry(job, problem));
}

TEST(CutGuidesTest, TheStyleComesFromCutGuidesElseFromShowCutGrid) {
  GridJob job;
  EXPECT_EQ(GuideStyleOf(job), GuideStyle::kNone);
  job.showCutGrid = true;
  EXPECT_EQ(GuideStyleOf(job), GuideStyle::kGrid);
  job.cutGuides = "none";
  EXPECT_EQ(GuideStyleOf(job), GuideStyle::kNone);
  job.showCutGrid = false;
  job.cutGuides = "marks";
  EXPECT_EQ(GuideStyleOf(job), GuideStyle::kMarks);
  job.cutGuides = "lines";
  EXPECT_EQ(GuideStyleOf(job), GuideStyle::kLines);
}

TEST(CutGuidesTest, GridLinesRunInTheMiddleOfEachGapAcrossTheUsableArea) {
  GridJob job = GappedJob();
  job.showCutGrid = true;
  const std::vector<PixelRect> rects = CutGuideRects(job, GeometryOf(job), {});
  ASSERT_EQ(rects.size(), 4u);
  // Column boundary 1: cell 0 ends at 130, cell 1 starts at 150: a 3-pixel band centred on 140.
  EXPECT_EQ(rects[0], (PixelRect{139, 88, 3, 304}));
  EXPECT_EQ(rects[2], (PixelRect{30, 88 + 108 - 10 - 1, 340, 3}));  // row 1 starts at 196
}

TEST(CutGuidesTest, LinesFrameOnlyTheFilledMagnetsAndLieOutsideThemWhenThereIsRoom) {
  GridJob job = GappedJob();
  job.cutGuides = "lines";
  const SheetGeometry g = GeometryOf(job);
  const std::vector<bool> filled = {true, true, true, true};  // row 0 and the first cell of row 1
  const std::vector<PixelRect> rects = CutGuideRects(job, g, filled);
  EXPECT_EQ(rects.size(), 4u * 4);
  for (int64_t cell = 0; cell < 9; ++cell) {
    const PixelRect magnet = MagnetRectOf(job, g, cell / 3, cell % 3);
    for (const PixelRect& rect : rects) EXPECT_FALSE(Overlap(rect, magnet)) << "cell " << cell;
  }
  // The frame of the first magnet hugs its edges from outside.
  EXPECT_EQ(rects[0], (PixelRect{27, 85, 106, 3}));

  // Touching magnets leave no room: the line is centred on the edge, as between cells without gaps.
  job.gapPx = 0;
  job.marginLeft = job.marginRight = 50;
  const std::vector<PixelRect> touching = CutGuideRects(job, GeometryOf(job), {true, true});
  EXPECT_EQ(touching[3].x_px, 150 - 1);  // the first magnet's right edge at 150
}

TEST(CutGuidesTest, MarksNeverTouchAPhotoNorAnEmptyCell) {
  for (const int32_t bleed : {0, 6, 10}) {
    for (const bool full_length : {false, true}) {
      GridJob job = GappedJob();
      job.cutGuides = "marks";
      job.bleedPx = bleed;
      job.fullLengthGuides = full_length;
      const SheetGeometry g = GeometryOf(job);
      const std::vector<bool> filled = FirstFilled(5);
      const std::vector<PixelRect> rects = CutGuideRects(job, g, filled);
      ASSERT_FALSE(rects.empty());
      for (int64_t cell = 0; cell < 9; ++cell) {
        const PixelRect photo = BleedBoxOf(job, g, cell / 3, cell % 3);
        for (const PixelRect& rect : rects) {
          EXPECT_FALSE(Overlap(rect, photo)) << "bleed " << bleed << " cell " << cell;
        }
      }
      // Every mark lies on the line of a cut edge of a filled magnet.
      for (const PixelRect& rect : rects) {
        const bool vertical = rect.width_px == 3;
        const int64_t line = (vertical ? rect.x_px : rect.y_px) + 1;
        bool on_an_edge = false;
        for (int64_t cell = 0; cell < 5; ++cell) {
          const PixelRect m = MagnetRectOf(job, g, cell / 3, cell % 3);
          on_an_edge |= vertical ? (line == m.x_px || line == m.right_px()) : (line == m.y_px || line == m.bottom_px());
        }
        EXPECT_TRUE(on_an_edge) << rect.x_px << "," << rect.y_px << " " << rect.width_px << "x" << rect.height_px;
      }
      // A mark in the top margin for each of the 6 vertical cut lines, reaching the page edge when asked.
      const auto top_marks = std::count_if(rects.begin(), rects.end(), [&](const PixelRect& r) {
        return r.width_px == 3 && r.bottom_px() <= 88 - bleed;
      });
      EXPECT_EQ(top_marks, 6);
      const auto at_edge = std::count_if(rects.begin(), rects.end(), [](const PixelRect& r) { return r.y_px == 0; });
      EXPECT_EQ(at_edge, full_length ? 6 : 0) << "bleed " << bleed;
    }
  }
  // Nothing at all on a sheet without photos.
  GridJob job = GappedJob();
  job.cutGuides = "marks";
  EXPECT_TRUE(CutGuideRects(job, GeometryOf(job), {false, false}).empty());
}

}  // namespace
}  // namespace mosalith
