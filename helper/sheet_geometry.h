// SheetGeometry: where the cells, magnets and cut lines of a sheet lie, computed once per job; the one
// layout of both composers (the helper program's and the application's in-process one).
//
// All sizes and positions are in pixels of the sheet canvas, origin at its top-left corner, x to the
// right and y down. Positions are 64-bit so that hostile margins cannot overflow them; callers clip to
// the canvas. Every function here is pure and safe to call from any thread. Plain C++ without system
// calls: part of the job-format library both programs link.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "helper/grid_job.h"

namespace mosalith {

// The magnet's shape, from its size in pixels. A square magnet has both flags false.
struct MagnetShape {
  bool portrait = false;   // magnet width < magnet height
  bool landscape = false;  // magnet height < magnet width
};
MagnetShape MagnetShapeOf(int32_t magnet_width_px, int32_t magnet_height_px);

struct SheetGeometry {
  int32_t usable_width_px = 0;   // pageWidth minus the left and right margins
  int32_t usable_height_px = 0;  // pageHeight minus the top and bottom margins
  int32_t cell_width_px = 0;     // usable width / cols, truncated
  int32_t cell_height_px = 0;    // usable height / rows, truncated
  // The magnet is the part of the cell that receives the photo and the frame, at the cell's top-left
  // corner. It fills the cell unless magnetAspectRatio > 0 asks for a narrower or shorter shape.
  int32_t magnet_width_px = 0;
  int32_t magnet_height_px = 0;
  MagnetShape magnet_shape;
  int64_t cells_per_sheet = 0;  // rows x cols
  int32_t gap_px = 0;    // between neighbouring cells, across and down
  int32_t bleed_px = 0;  // how far each photo reaches beyond its magnet's edges (see BleedBox)
};


// How the magnet is sized within its cell.
enum class MagnetSizing {
  kAspectRatio,  // by magnetAspectRatio (the helper program)
  kWholeCell,    // the magnet is the whole cell, whatever the job asks (the in-process composer)
};

// The geometry of `job`, or nothing with `problem` set to a one-line description (no prefix) when the
// job cannot be laid out: rows or cols below 1, a page outside the page budget (helper/page_budget.h,
// "Invalid page size WxH"), a gap or bleed outside 0..kMaxSpacingPx, a usable area that leaves cells of
// zero size once the gaps are taken out, or one beyond int32, or a magnet of zero size.
// Cells: (usable width - (cols - 1) x gap) / cols wide, truncated, and likewise down; with no gap that
// is usable width / cols.
std::optional<SheetGeometry> ComputeSheetGeometry(const GridJob& job, std::string& problem,
                                                  MagnetSizing sizing = MagnetSizing::kAspectRatio);

// Top-left corner of cell (row, col): the left margin plus whole cells and gaps across, the top margin
// plus whole cells and gaps down.
struct CellOrigin {
  int64_t x_px = 0;
  int64_t y_px = 0;
};
CellOrigin CellOriginOf(const GridJob& job, const SheetGeometry& geometry, int64_t row, int64_t col);

// A rectangle of canvas pixels: [x, x + width) x [y, y + height), origin at the canvas's top-left corner.
struct PixelRect {
  int64_t x_px = 0;
  int64_t y_px = 0;
  int64_t width_px = 0;
  int64_t height_px = 0;
  int64_t right_px() const { return x_px + width_px; }
  int64_t bottom_px() const { return y_px + height_px; }
  bool operator==(const PixelRect&) const = default;
};

// The magnet of cell (row, col): magnet-sized, at the cell's top-left corner. Its edges are where the
// magnet is cut.
PixelRect MagnetRectOf(const GridJob& job, const SheetGeometry& geometry, int64_t row, int64_t col);

// Where the photo of cell (row, col) may lie: its magnet grown by the bleed on each side, but towards a
// neighbouring cell only by half the space between the two magnets (rounded down), so that no photo
// ever reaches into another one's bleed or magnet. Towards the page margin the full bleed (callers clip
// to the canvas). With no bleed it is the magnet.
PixelRect BleedBoxOf(const GridJob& job, const SheetGeometry& geometry, int64_t row, int64_t col);

// Dots per inch for cut lines: dpi when above 0; otherwise 300 for pages up to 2400 pixels tall and
// 450 for taller ones.
double CutLineResolution(const GridJob& job);

// The sheet's resolution as its JPEG file states it (JFIF dots per inch): the cut-line resolution,
// rounded and limited to 1..65535; 0 (no resolution stated) when the job's sheetDensity is off.
int SheetDensityDpi(const GridJob& job);

// JPEG quality of the sheet files: 0 means 90; other values are limited to 1..100.
int SheetJpegQuality(int32_t requested);

// Cut line width: resolution x cutGridWidthMm in inches, truncated, at least 3 pixels (so a hairline
// setting still survives printing), at most INT32_MAX.
int32_t CutLineWidthPx(const GridJob& job);

// Lines are centred on the cell boundary: they start this far (width / 2, truncated) before it.
inline int32_t CutLineHalfWidthPx(int32_t line_width_px) { return line_width_px / 2; }

struct Rgb {
  uint8_t r = 0;
  uint8_t g = 0;
  uint8_t b = 0;
  bool operator==(const Rgb&) const = default;
};

// The cut line colour of a name: "black", "white", "gray"/"grey", "lightGray"/"lightGrey" (exact,
// case-sensitive); any other name, including the default "darkGray", is dark grey (98, 98, 98).
Rgb CutLineColor(const std::string& name);

}  // namespace mosalith
