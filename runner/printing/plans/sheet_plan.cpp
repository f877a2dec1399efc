// The sheet plan: printable area in pixels, magnets across and down either way, the centred grid.
#include "runner/printing/plans/sheet_plan.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "helper/grid_job.h"
#include "helper/page_budget.h"
#include "platform/paper/page_geometry.h"

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

// The page as a print device lays it out at `dpi` (platform/paper/page_geometry.h): its printable area
// starts at the margins rounded down to whole pixels and is as many whole pixels wide as fit.
platform::DeviceGeometry DevicePage(const PlanPaperArea& paper, int32_t dpi) {
  platform::PageSheet sheet{paper.width_hundredths_mm, paper.height_hundredths_mm, paper.margin_left,
                            paper.margin_top, paper.margin_right, paper.margin_bottom};
  return platform::PageGeometry(sheet, dpi, dpi, "");
}

// The print job centres the sheet in the device's printable area, turned a quarter clockwise when it lies
// across the paper: sheet point (x, y) then lands at (height - y, x) on the page.
struct DeviceShift {
  double x = 0;  // sheet pixels, across and down the sheet as it lies
  double y = 0;
};
DeviceShift DeviceShiftOf(const PlanPaperArea& paper, int32_t dpi, bool landscape) {
  const platform::DeviceGeometry device = DevicePage(paper, dpi);
  // The printable area's true middle, and the middle of the sheet as the device places it, in pixels.
  const double true_x = (paper.margin_left + (paper.width_hundredths_mm - paper.margin_left - paper.margin_right) / 2.0) *
                        dpi / 2540;
  const double true_y = (paper.margin_top + (paper.height_hundredths_mm - paper.margin_top - paper.margin_bottom) / 2.0) *
                        dpi / 2540;
  const double dx = true_x - (device.offset_x_px + device.printable_width_px / 2.0);
  const double dy = true_y - (device.offset_y_px + device.printable_height_px / 2.0);
  // On the page x grows with the sheet's -y when the sheet lies across, and y with its x.
  return landscape ? DeviceShift{dy, -dx} : DeviceShift{dx, dy};
}

// Where the sheet and its grid print on the paper, as the print job places them.
void PlaceOnPaper(const PlanPaperArea& paper, int32_t dpi, int64_t grid_width, int64_t grid_height, SheetPlan& plan) {
  const int64_t printable_width = paper.width_hundredths_mm - paper.margin_left - paper.margin_right;
  const int64_t printable_height = paper.height_hundredths_mm - paper.margin_top - paper.margin_bottom;
  plan.printable = {paper.margin_left / 100.0, paper.margin_top / 100.0, printable_width / 100.0,
                    printable_height / 100.0};
  const platform::DeviceGeometry device = DevicePage(paper, dpi);
  const bool landscape = plan.landscape;
  const int64_t sheet_width = plan.sheet_width_px;
  const int64_t sheet_height = plan.sheet_height_px;
  const double upright_width_mm = MmOfPixels(landscape ? sheet_height : sheet_width, dpi);
  const double upright_height_mm = MmOfPixels(landscape ? sheet_width : sheet_height, dpi);
  plan.sheet = {MmOfPixels(device.offset_x_px, dpi) + (MmOfPixels(device.printable_width_px, dpi) - upright_width_mm) / 2,
                MmOfPixels(device.offset_y_px, dpi) + (MmOfPixels(device.printable_height_px, dpi) - upright_height_mm) / 2,
                upright_width_mm, upright_height_mm};
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
  plan.grid = {plan.sheet.left + MmOfPixels(x, dpi), plan.sheet.top + MmOfPixels(y, dpi), MmOfPixels(w, dpi),
               MmOfPixels(h, dpi)};
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
  // Centred on the sheet, moved by what the printer's own rounding of its margins takes the sheet away
  // from the middle of the printable area, to the nearest pixel.
  const DeviceShift shift = DeviceShiftOf(paper, input.dpi, landscape);
  const int64_t left = std::clamp<int64_t>(std::llround((sheet_width - grid_width) / 2.0 + shift.x), 0,
                                           sheet_width - grid_width);
  const int64_t top = std::clamp<int64_t>(std::llround((sheet_height - grid_height) / 2.0 + shift.y), 0,
                                          sheet_height - grid_height);
  plan.margin_left_px = static_cast<int32_t>(left);
  plan.margin_right_px = static_cast<int32_t>(sheet_width - grid_width - left);
  plan.margin_top_px = static_cast<int32_t>(top);
  plan.margin_bottom_px = static_cast<int32_t>(sheet_height - grid_height - top);
  plan.magnets_per_sheet = fit.count();
  plan.sheets_needed = (input.image_count + plan.magnets_per_sheet - 1) / plan.magnets_per_sheet;

  PlaceOnPaper(paper, input.dpi, grid_width, grid_height, plan);
  return plan;
}

}  // namespace runner::printing
