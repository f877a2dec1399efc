// The sheet plan: printable area in pixels, magnets across and down either way, the centred grid.
#include "runner/printing/plans/sheet_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "helper/grid_job.h"
#include "helper/page_budget.h"

namespace runner::printing {
namespace {

constexpr double kMmPerInch = 25.4;

struct Fit {
  int64_t cols = 0;
  int64_t rows = 0;
  int64_t count() const { return cols * rows; }
};

// How many magnets of `magnet` pixels, `gap` apart, fit `length` pixels with the bleed at both ends.
int64_t FitAlong(int64_t length, int64_t magnet, int64_t gap, int64_t bleed) {
  const int64_t room = length - 2 * bleed;
  return room < magnet ? 0 : (room + gap) / (magnet + gap);
}

}  // namespace

int64_t PixelsOfMm(double mm, int32_t dpi) { return std::llround(mm * dpi / kMmPerInch); }

double MmOfPixels(int64_t px, int32_t dpi) { return static_cast<double>(px) * kMmPerInch / dpi; }

std::string MmText(double mm) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.1f", mm);
  return buffer;
}

std::optional<SheetPlan> PlanSheets(const PlanInput& input, const PlanPaperArea& paper, const std::string& paper_name,
                                    PlanProblem* problem, std::string* text) {
  *problem = PlanProblem::kNone;
  const int64_t printable_width = paper.width_hundredths_mm - paper.margin_left - paper.margin_right;
  const int64_t printable_height = paper.height_hundredths_mm - paper.margin_top - paper.margin_bottom;
  const std::string magnet = MmText(input.magnet_width_mm) + "x" + MmText(input.magnet_height_mm) + " mm";
  const std::string area = MmText(std::max<int64_t>(printable_width, 0) / 100.0) + "x" +
                           MmText(std::max<int64_t>(printable_height, 0) / 100.0) + " mm";

  // The printable area in whole pixels, rounded down: the sheet never reaches into the margins.
  const int64_t width_px = std::max<int64_t>(printable_width, 0) * input.dpi / 2540;
  const int64_t height_px = std::max<int64_t>(printable_height, 0) * input.dpi / 2540;
  const int64_t magnet_width = PixelsOfMm(input.magnet_width_mm, input.dpi);
  const int64_t magnet_height = PixelsOfMm(input.magnet_height_mm, input.dpi);
  if (magnet_width < 1 || magnet_height < 1) {
    *problem = PlanProblem::kMagnetTooSmall;
    *text = "Magnet " + magnet + " is less than a pixel at " + std::to_string(input.dpi) + " dpi";
    return std::nullopt;
  }
  const int64_t gap = PixelsOfMm(input.gap_mm, input.dpi);
  const int64_t bleed = PixelsOfMm(input.bleed_mm, input.dpi);
  if (gap > mosalith::kMaxSpacingPx || bleed > mosalith::kMaxSpacingPx) {
    *problem = PlanProblem::kBadSpacing;
    *text = "A gap of " + std::to_string(gap) + " or a bleed of " + std::to_string(bleed) + " pixels at " +
            std::to_string(input.dpi) + " dpi is more than a sheet takes (" +
            std::to_string(mosalith::kMaxSpacingPx) + " pixels)";
    return std::nullopt;
  }

  const Fit upright{FitAlong(width_px, magnet_width, gap, bleed), FitAlong(height_px, magnet_height, gap, bleed)};
  const Fit across{FitAlong(height_px, magnet_width, gap, bleed), FitAlong(width_px, magnet_height, gap, bleed)};
  const bool landscape = across.count() > upright.count();
  const Fit fit = landscape ? across : upright;
  if (fit.count() == 0) {
    *problem = PlanProblem::kMagnetTooLarge;
    *text = "Magnet " + magnet + (bleed > 0 ? " with its bleed" : "") + " does not fit the printable area " + area +
            " of " + paper_name;
    return std::nullopt;
  }
  SheetPlan plan;
  plan.landscape = landscape;
  const int64_t sheet_width = landscape ? height_px : width_px;
  const int64_t sheet_height = landscape ? width_px : height_px;
  if (!mosalith::PageWithinBudget(sheet_width, sheet_height)) {
    *problem = PlanProblem::kSheetTooLarge;
    *text = "The printable area " + area + " of " + paper_name + " at " + std::to_string(input.dpi) +
            " dpi is a sheet of " + std::to_string(sheet_width) + "x" + std::to_string(sheet_height) +
            " pixels, more than a sheet may have (" + std::to_string(mosalith::kMaxPageSidePx) +
            " a side, " + std::to_string(mosalith::kMaxPagePixels / 1000000) + " megapixels)";
    return std::nullopt;
  }
  // Every count below is bounded by the sheet's sides, so it fits int32.
  plan.sheet_width_px = static_cast<int32_t>(sheet_width);
  plan.sheet_height_px = static_cast<int32_t>(sheet_height);
  plan.cols = static_cast<int32_t>(fit.cols);
  plan.rows = static_cast<int32_t>(fit.rows);
  plan.magnet_width_px = static_cast<int32_t>(magnet_width);
  plan.magnet_height_px = static_cast<int32_t>(magnet_height);
  plan.gap_px = static_cast<int32_t>(gap);
  plan.bleed_px = static_cast<int32_t>(bleed);
  const int64_t grid_width = fit.cols * magnet_width + (fit.cols - 1) * gap;
  const int64_t grid_height = fit.rows * magnet_height + (fit.rows - 1) * gap;
  plan.margin_left_px = static_cast<int32_t>((sheet_width - grid_width) / 2);
  plan.margin_right_px = static_cast<int32_t>(sheet_width - grid_width - plan.margin_left_px);
  plan.margin_top_px = static_cast<int32_t>((sheet_height - grid_height) / 2);
  plan.margin_bottom_px = static_cast<int32_t>(sheet_height - grid_height - plan.margin_top_px);
  plan.magnets_per_sheet = fit.count();
  plan.sheets_needed = (input.image_count + plan.magnets_per_sheet - 1) / plan.magnets_per_sheet;

  // Where it all prints on the paper. The print job centres the sheet in the printable area, turned a
  // quarter clockwise when it lies across the paper: sheet point (x, y) then lands at (height - y, x).
  plan.printable = {paper.margin_left / 100.0, paper.margin_top / 100.0, printable_width / 100.0,
                    printable_height / 100.0};
  const double upright_width_mm = MmOfPixels(landscape ? sheet_height : sheet_width, input.dpi);
  const double upright_height_mm = MmOfPixels(landscape ? sheet_width : sheet_height, input.dpi);
  plan.sheet = {plan.printable.left + (plan.printable.width - upright_width_mm) / 2,
                plan.printable.top + (plan.printable.height - upright_height_mm) / 2, upright_width_mm,
                upright_height_mm};
  int64_t x = plan.margin_left_px;
  int64_t y = plan.margin_top_px;
  int64_t w = grid_width;
  int64_t h = grid_height;
  if (landscape) {
    const int64_t turned_x = sheet_height - y - h;
    y = x;
    x = turned_x;
    std::swap(w, h);
  }
  plan.grid = {plan.sheet.left + MmOfPixels(x, input.dpi), plan.sheet.top + MmOfPixels(y, input.dpi),
               MmOfPixels(w, input.dpi), MmOfPixels(h, input.dpi)};
  return plan;
}

}  // namespace runner::printing
