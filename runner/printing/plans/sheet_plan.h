// The sheet plan: magnets designed in millimetres laid out on a printer's paper. The sheet covers the
// paper's printable area at the plan's resolution, so that printed at the resolution its file states it
// comes out at true size; the magnets, gaps and bleed are whole pixels at that resolution (each rounded
// to the nearest pixel: a 50 mm magnet at 300 dpi is 591 pixels, 50.04 mm as printed); the grid, bleed
// included, is as many magnets across and down as fit, centred on the sheet, then moved by the whole
// pixels that a print device's rounding of the margins (platform/paper/page_geometry.h, at the plan's
// dpi) takes the sheet off the middle of the printable area, so that it is the grid that is centred.
//
// Paper measures are hundredths of a millimetre, the paper as the printer names it (portrait) with the
// margins it cannot print on. A sheet may lie across the paper ("landscape"): the print job turns it a
// quarter clockwise onto the page, and the plan takes that way when it holds more magnets.
// Pure functions, thread-safe.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace runner::printing {

struct PlanPaperArea {
  int64_t width_hundredths_mm = 0;
  int64_t height_hundredths_mm = 0;
  int64_t margin_left = 0;  // hundredths of a millimetre from each edge
  int64_t margin_top = 0;
  int64_t margin_right = 0;
  int64_t margin_bottom = 0;
};

struct PlanInput {
  double magnet_width_mm = 0;
  double magnet_height_mm = 0;
  double gap_mm = 0;
  double bleed_mm = 0;
  int32_t dpi = 300;
  int64_t image_count = 0;
};

// A rectangle in millimetres from the paper's top-left corner, the paper upright as the printer names it.
struct PaperRectMm {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
};

struct SheetPlan {
  bool landscape = false;  // the sheet lies across the paper
  int32_t sheet_width_px = 0;
  int32_t sheet_height_px = 0;
  int32_t rows = 0;
  int32_t cols = 0;
  int32_t magnet_width_px = 0;
  int32_t magnet_height_px = 0;
  int32_t gap_px = 0;
  int32_t bleed_px = 0;
  int32_t margin_left_px = 0;  // of the sheet, around the grid of magnets (the bleed lies in them)
  int32_t margin_right_px = 0;
  int32_t margin_top_px = 0;
  int32_t margin_bottom_px = 0;
  int64_t magnets_per_sheet = 0;
  int64_t sheets_needed = 0;
  PaperRectMm printable;  // the paper's printable area
  PaperRectMm sheet;      // where the sheet prints: centred in the device's printable area
  PaperRectMm grid;       // where the magnets print (their cut edges), bleed not included
};

// Pixels of `mm` at `dpi`, to the nearest pixel.
int64_t PixelsOfMm(double mm, int32_t dpi);
// Millimetres that `px` pixels print at `dpi`.
double MmOfPixels(int64_t px, int32_t dpi);

enum class PlanProblem {
  kNone,
  kMagnetTooLarge,  // not one magnet (with its bleed) fits the printable area either way
  kMagnetTooSmall,  // the magnet rounds to no pixel at this resolution
  kSheetTooLarge,   // the printable area at this resolution is beyond the largest sheet
  kBadSpacing,      // a gap or bleed beyond what a sheet takes
};

// The plan, or nothing with `*problem` and `*text` (a message for the user: the sizes involved).
// `paper_name` names the paper in the messages. Inputs must be positive and finite (gap and bleed may be 0).
std::optional<SheetPlan> PlanSheets(const PlanInput& input, const PlanPaperArea& paper, const std::string& paper_name,
                                    PlanProblem* problem, std::string* text);

// A millimetre value for messages: one decimal, "210.0".
std::string MmText(double mm);

}  // namespace runner::printing
