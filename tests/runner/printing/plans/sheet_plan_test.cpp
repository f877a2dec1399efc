// The sheet plan's arithmetic: the printable area in pixels, the magnets rounded to whole pixels, either
// way across the paper, the centred grid, and the refusals.
#include "runner/printing/plans/sheet_plan.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace runner::printing {
namespace {

constexpr PlanPaperArea kA4{21000, 29700, 0, 0, 0, 0};
// A4 with the 12-point margins of a typical office printer.
constexpr int64_t kTwelvePoints = 423;
constexpr PlanPaperArea kOfficeA4{21000, 29700, kTwelvePoints, kTwelvePoints, kTwelvePoints, kTwelvePoints};

SheetPlan Plan(const PlanInput& input, const PlanPaperArea& paper) {
  PlanProblem problem = PlanProblem::kNone;
  std::string text;
  const std::optional<SheetPlan> plan = PlanSheets(input, paper, "A4", &problem, &text);
  EXPECT_TRUE(plan) << text;
  return plan.value_or(SheetPlan{});
}

TEST(SheetPlanTest, FiftyMillimetreSquaresOnA4AreWholePixelsOnACentredGrid) {
  const SheetPlan plan = Plan({50, 50, 0, 0, 300, 23}, kA4);
  EXPECT_EQ(plan.sheet_width_px, 2480);  // 210 mm at 300 dpi, rounded down
  EXPECT_EQ(plan.sheet_height_px, 3507);
  EXPECT_EQ(plan.magnet_width_px, 591);  // 590.55 to the nearest pixel: 50.04 mm as printed
  EXPECT_NEAR(MmOfPixels(plan.magnet_width_px, 300), 50.038, 0.001);
  EXPECT_FALSE(plan.landscape);
  EXPECT_EQ(plan.cols, 4);
  EXPECT_EQ(plan.rows, 5);
  EXPECT_EQ(plan.magnets_per_sheet, 20);
  EXPECT_EQ(plan.sheets_needed, 2);
  EXPECT_EQ(plan.margin_left_px + plan.margin_right_px, 2480 - 4 * 591);
  EXPECT_LE(std::abs(plan.margin_right_px - plan.margin_left_px), 1);
  EXPECT_EQ(plan.margin_top_px, (3507 - 5 * 591) / 2);
  // On the paper the grid's middle is the paper's, to within half a pixel and the sheet's rounding.
  EXPECT_NEAR(plan.grid.left + plan.grid.width / 2, 105, 0.1);
  EXPECT_NEAR(plan.grid.top + plan.grid.height / 2, 148.5, 0.1);
  EXPECT_NEAR(plan.grid.width, 4 * 50.038, 0.001);
}

TEST(SheetPlanTest, GapsAndBleedCostRoomAndTheSheetTurnsWhenThatHoldsMore) {
  // 2 x 3 in magnets, 4 mm apart, 1 mm bleed, inside the office printer's margins: three across and three
  // down upright, but five across and two down with the sheet across the paper.
  const SheetPlan plan = Plan({50.8, 76.2, 4, 1, 300, 10}, kOfficeA4);
  EXPECT_TRUE(plan.landscape);
  EXPECT_EQ(plan.sheet_width_px, 3407);
  EXPECT_EQ(plan.sheet_height_px, 2380);
  EXPECT_EQ(plan.cols, 5);
  EXPECT_EQ(plan.rows, 2);
  EXPECT_EQ(plan.gap_px, 47);
  EXPECT_EQ(plan.bleed_px, 12);
  // Turned onto the paper, the grid is still centred in the printable area.
  EXPECT_NEAR(plan.grid.left + plan.grid.width / 2, 105, 0.1);
  EXPECT_NEAR(plan.grid.top + plan.grid.height / 2, 148.5, 0.1);
  EXPECT_NEAR(plan.grid.width, 2 * 76.2 + 47 * 25.4 / 300, 0.01);  // two magnets across the page

  // Four squares fill a row exactly without bleed; with it, one fewer fits.
  const PlanPaperArea exact{20000, 5100, 0, 0, 0, 0};  // 2000 x 510 pixels at 254 dpi
  EXPECT_EQ(Plan({50, 50, 0, 0, 254, 4}, exact).cols, 4);
  EXPECT_EQ(Plan({50, 50, 0, 0.5, 254, 4}, exact).cols, 3);
}

TEST(SheetPlanTest, TheGridMakesUpForTheDevicesRoundingOfTheMargins) {
  // 4.23 mm margins are 49.96 pixels at 300 dpi: the device starts its printable area at pixel 49, so the
  // grid moves one pixel right and down on the sheet to stay in the middle of the printable area.
  const SheetPlan plan = Plan({50, 50, 3, 0, 300, 15}, kOfficeA4);
  EXPECT_EQ(plan.sheet_width_px, 2380);
  EXPECT_EQ(plan.margin_left_px, 270);  // 268.5 centred, 1.16 pixels more for the device
  EXPECT_EQ(plan.margin_right_px, 2380 - 1843 - plan.margin_left_px);
  EXPECT_NEAR(plan.sheet.left, 49 * 25.4 / 300, 1e-9);
  constexpr double kHalfPixelMm = 25.4 / 300 / 2;
  EXPECT_NEAR(plan.grid.left + plan.grid.width / 2, 105, kHalfPixelMm);
  EXPECT_NEAR(plan.grid.top + plan.grid.height / 2, 148.5, kHalfPixelMm);
}

TEST(SheetPlanTest, WhatCannotBePlannedIsRefusedWithTheSizesInvolved) {
  PlanProblem problem = PlanProblem::kNone;
  std::string text;
  EXPECT_FALSE(PlanSheets({300, 300, 0, 0, 300, 1}, kOfficeA4, "A4 on Office", &problem, &text));
  EXPECT_EQ(problem, PlanProblem::kMagnetTooLarge);
  EXPECT_EQ(text, "Magnet 300.0x300.0 mm does not fit the printable area 201.5x288.5 mm of A4 on Office");
  EXPECT_FALSE(PlanSheets({209, 296, 0, 1, 300, 1}, kA4, "A4", &problem, &text));  // fits only without its bleed
  EXPECT_NE(text.find("with its bleed"), std::string::npos);
  EXPECT_FALSE(PlanSheets({50, 50, 0, 0, 10000, 1}, kA4, "A4", &problem, &text));
  EXPECT_EQ(problem, PlanProblem::kSheetTooLarge);
  EXPECT_FALSE(PlanSheets({50, 50, 400, 0, 300, 1}, kA4, "A4", &problem, &text));
  EXPECT_EQ(problem, PlanProblem::kBadSpacing);
  EXPECT_FALSE(PlanSheets({0.1, 0.1, 0, 0, 1, 1}, kA4, "A4", &problem, &text));
  EXPECT_EQ(problem, PlanProblem::kMagnetTooSmall);
  EXPECT_EQ(text, "Magnet 0.1x0.1 mm is less than a pixel at 1 dpi");
  EXPECT_EQ(Plan({50, 50, 0, 0, 300, 0}, kA4).sheets_needed, 0);
}

}  // namespace
}  // namespace runner::printing
