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
#include "helper/image_buffer.h"
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
void PastePhoto(ImageBuffer& canvas, const ImageBuffer& photo, CellOrigin cell, int32_t magnet_width_px,
                int32_t magnet_height_px);

// Lays `frame` over the canvas with its top-left corner at (x_px, y_px). Per frame pixel of alpha A:
// 255 copies it, 0 leaves the canvas, otherwise each of R, G, B becomes
// (frame x A + canvas x (255 - A)) / 255 in integers and the canvas alpha becomes 255. Pixels off the
// canvas are skipped.
void BlendFrame(ImageBuffer& canvas, const ImageBuffer& frame, int64_t x_px, int64_t y_px);

// Draws the cut lines between cells (none along the outer edge of the grid) in the job's colour, opaque:
// a vertical band CutLineWidthPx wide starting half a width before each inner column boundary over the
// usable height, and a horizontal band likewise for each inner row boundary over the usable width.
// `colour` (may be null) turns the job's colour into the sheets' space.
void DrawCutLines(ImageBuffer& canvas, const GridJob& job, const SheetGeometry& geometry,
                  const SheetColour* colour = nullptr);

// The photo positions [first, end) that sheet `sheet_index` holds; first == end for a sheet without photos.
struct SheetPhotos {
  size_t first = 0;
  size_t end = 0;
};
SheetPhotos PhotosOfSheet(const GridJob& job, const SheetGeometry& geometry, size_t sheet_index);

// One cell made ready for pasting: the photo fitted into its magnet with its effects and border, and its
// frame turned and resized to the magnet. Either is empty when it could not be loaded or is not wanted.
struct PreparedCell {
  ImageBuffer photo;
  ImageBuffer frame;
};

// Prepares the cell of photo `index`: load (decoded no larger than its magnet needs), orientation,
// turn, fit, effects, border, then the frame. Counts the cell as done and prints the progress line when
// due. A photo or frame that cannot be loaded leaves its part empty; that is not a failure.
// Thread safety: may run for any cells of one job at once; reads `job` and `geometry` only.
PreparedCell PrepareCell(const GridJob& job, const SheetGeometry& geometry, size_t index, ImageCodec& codec,
                         SheetCounters& counters);

// Composes sheet `sheet_index` from its prepared cells (cells[i] is photo PhotosOfSheet().first + i), in
// cell order: each photo pasted, then its frame laid over; then the cut lines. Writes the sheet to
// job.outputs[sheet_index] and prints the "Saved page" line. `canvas` is reused when it has the page's
// size. Returns false, after printing "Mosalith: Failed to write page <sheet_index + 1>: <path>", when
// the canvas cannot be allocated or the file cannot be opened or encoded; such a sheet does not count as
// saved. Thread safety: may run for different sheets of one job at once.
bool FinishSheet(const GridJob& job, const SheetGeometry& geometry, size_t sheet_index,
                 const std::vector<PreparedCell>& cells, ImageBuffer& canvas, ImageCodec& codec,
                 SheetCounters& counters);

// PrepareCell for every photo of the sheet, then FinishSheet, all on the calling thread.
bool ComposeSheet(const GridJob& job, const SheetGeometry& geometry, size_t sheet_index, ImageCodec& codec,
                  SheetCounters& counters);

}  // namespace mosalith
