// Composing sheets: cells prepared one by one (photo fitted into its magnet with effects and border, frame
// resized), then laid on the canvas in cell order with the cut lines, and the JPEG written.
//
// Canvas positions are pixels from the canvas's top-left corner; every drawing step clips to the canvas,
// so no position, however placed, writes outside it.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <vector>

#include "helper/grid_job.h"
#include "imaging/bitmap.h"
#include "helper/image_io.h"
#include "helper/sheet_colour.h"
#include "helper/sheet_geometry.h"

namespace mosalith {

// State the workers of one job share; owned by the production run, which outlives every worker.
// The counters are atomic; `log_lock` serialises only the progress and "Saved page" lines.
struct SheetCounters {
  std::atomic<int64_t> done{0};   // cells processed across all sheets (photos loaded or not)
  std::atomic<int64_t> saved{0};  // sheet files written
  std::mutex log_lock;
  const SheetColour* colour = nullptr;  // the job's output space; null: the numbers as stored
};

// Copies the fitted photo into the canvas, centred in the magnet at the cell's corner: whole rows of
// all four bytes, no blending, at x = max(0, cell x + (magnet width - w) / 2) and likewise for y.
// Rows below the canvas are dropped; nothing is copied when a row would pass the right edge.
void PastePhoto(imaging::Bitmap& canvas, const imaging::Bitmap& photo, CellOrigin cell, int32_t magnet_width_px,
                int32_t magnet_height_px);

// Lays `frame` over the canvas with its top-left corner at (x_px, y_px). Per frame pixel of alpha A:
// 255 copies it, 0 leaves the canvas, otherwise each of R, G, B becomes
// (frame x A + canvas x (255 - A)) / 255 in integers and the canvas alpha becomes 255. Pixels off the
// canvas are skipped.
void BlendFrame(imaging::Bitmap& canvas, const imaging::Bitmap& frame, int64_t x_px, int64_t y_px);

// Copies a photo that reaches beyond its magnet (the bleed) into the canvas, centred on `magnet`, keeping
// only what lies inside `bleed_box` (BleedBoxOf) and the canvas: whole pixels, no blending.
void PasteBled(imaging::Bitmap& canvas, const imaging::Bitmap& photo, const PixelRect& magnet, const PixelRect& bleed_box);

// Draws the sheet's cut guides (helper/cut_guides.h) in the job's colour, opaque, clipped to the canvas.
// `filled[i]` tells whether cell i shows a photo.
// `colour` (may be null) turns the job's colour into the sheets' space.
void DrawCutLines(imaging::Bitmap& canvas, const GridJob& job, const SheetGeometry& geometry,
                  const std::vector<bool>& filled, const SheetColour* colour = nullptr);

// The photo positions [first, end) that sheet `sheet_index` holds; first == end for a sheet without photos.
struct SheetPhotos {
  size_t first = 0;
  size_t end = 0;
};
SheetPhotos PhotosOfSheet(const GridJob& job, const SheetGeometry& geometry, size_t sheet_index);

// One cell made ready for pasting: the photo fitted into its magnet with its effects and border, and its
// frame turned and resized to the magnet. Either is empty when it could not be loaded or is not wanted.
struct PreparedCell {
  imaging::Bitmap photo;
  imaging::Bitmap frame;
};

// Prepares the cell of photo `index`: load (decoded no larger than its magnet needs), orientation,
// turn (unless the job keeps photos upright), fit to the magnet and its bleed (the crop moved to keep
// the photo's faces when the job asks), effects, border, then the frame (resized to the magnet, or
// covering it in its own shape). Counts the cell as done and prints the progress line when
// due. A photo or frame that cannot be loaded leaves its part empty; that is not a failure.
// Thread safety: may run for any cells of one job at once; reads `job` and `geometry` only.
PreparedCell PrepareCell(const GridJob& job, const SheetGeometry& geometry, size_t index, ImageCodec& codec,
                         SheetCounters& counters);

// Composes sheet `sheet_index` from its prepared cells (cells[i] is photo PhotosOfSheet().first + i), in
// cell order: each photo pasted (with its bleed), then its frame laid over the magnet; then the cut
// guides around the cells whose photo was drawn. Writes the sheet to
// job.outputs[sheet_index] and prints the "Saved page" line. `canvas` is reused when it has the page's
// size. Returns false, after printing "Mosalith: Failed to write page <sheet_index + 1>: <path>", when
// the canvas cannot be allocated or the file cannot be opened or encoded; such a sheet does not count as
// saved. Thread safety: may run for different sheets of one job at once.
bool FinishSheet(const GridJob& job, const SheetGeometry& geometry, size_t sheet_index,
                 const std::vector<PreparedCell>& cells, imaging::Bitmap& canvas, ImageCodec& codec,
                 SheetCounters& counters);

// PrepareCell for every photo of the sheet, then FinishSheet, all on the calling thread.
bool ComposeSheet(const GridJob& job, const SheetGeometry& geometry, size_t sheet_index, ImageCodec& codec,
                  SheetCounters& counters);

}  // namespace mosalith
