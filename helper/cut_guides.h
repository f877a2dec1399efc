// Cut guides: the rectangles a sheet's cut lines or crop marks cover, for both composers to fill in the
// guide colour (CutLineColor) after the photos and frames.
//
// Four styles:
//   kGrid   the lines of a job that names no cutGuides and sets showCutGrid: one band CutLineWidthPx wide
//           centred on each boundary between cells (in the middle of the gap when there is one), across
//           the whole usable area, none along the grid's outer edge, whether the cells are filled or not.
//   kLines  a frame around every filled magnet, CutLineWidthPx wide, just outside its cut edges where
//           the space beside the edge (the gap, or the page margin) is at least that wide, else centred
//           on the edge; the bleed under it is cut away with the rest. Empty cells get none.
//   kMarks  crop marks that never lie over a photo (bleed included): in the page margins, a short mark
//           (kMarkLengthMm, or up to the page edge with fullLengthGuides) on the line of every cut edge
//           of the filled magnets, starting one line width beyond the grid (bleed included); and in the
//           free part of every gap (between the neighbours' bleed), a mark across the gap on the line of
//           each cut edge of a filled magnet beside it.
//   kNone   nothing.
// "Filled" cells are those whose photo was drawn. Rectangles are canvas pixels, not clipped: callers
// clip them to the canvas. Pure functions, safe from any thread; part of the job-format library.
#pragma once

#include <cstdint>
#include <vector>

#include "helper/grid_job.h"
#include "helper/sheet_geometry.h"

namespace mosalith {

enum class GuideStyle { kNone, kGrid, kLines, kMarks };

// The job's style: its cutGuides value, or, when it names none, kGrid with showCutGrid and kNone without.
GuideStyle GuideStyleOf(const GridJob& job);

// How far a margin mark reaches from the photos when fullLengthGuides is off.
inline constexpr double kMarkLengthMm = 5.0;

// The guides of one sheet. `filled[i]` tells whether cell i of the sheet (row-major) shows a photo;
// cells past the end of `filled` are empty. The work grows with the filled cells and the grid's rows and
// columns, never with rows x columns.
std::vector<PixelRect> CutGuideRects(const GridJob& job, const SheetGeometry& geometry,
                                     const std::vector<bool>& filled);

}  // namespace mosalith
