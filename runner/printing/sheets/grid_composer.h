// GridComposer: the in-process sheet composer used when the helper program cannot do the job.
//
// Simpler than the helper: each photo is turned upright by its EXIF orientation, turned a quarter when its
// shape is across the cell's, fitted whole inside its cell (scale min(cell / photo)) and centred on white;
// a frame, turned with its photo, is stretched over the whole cell, and only over cells whose photo was
// drawn. No crop, zoom, effects, border, cut lines or magnet aspect ratio. Sheets are composed in order on
// the calling thread and written as JPEG at the helper's quality rule (0 = 90, else 1..100).
// Thread safety: re-entrant; jobs on different threads share nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "runner/printing/sheets/sheet_job_records.h"

namespace platform {
class Clock;
class FileSystem;
class Graphics;
}  // namespace platform

namespace runner::printing {

// The cells of a sheet; the magnet is the whole cell.
struct ComposerLayout {
  int32_t cell_width_px = 0;
  int32_t cell_height_px = 0;
  bool cell_portrait = false;   // cell width < cell height
  bool cell_landscape = false;  // cell height < cell width
  int64_t cells_per_sheet = 0;
};

// The layout, or nothing with `*problem` naming what cannot be laid out: rows or cols below 1, a page
// outside the page budget of helper/page_budget.h, a usable area narrower than cols or shorter
// than rows pixels, or beyond int32. The helper program refuses the same jobs.
std::optional<ComposerLayout> ComputeComposerLayout(const SheetRequest& request, std::string* problem);

// Where a photo of `width_px` x `height_px` (upright) lands in a cell.
struct PhotoFit {
  bool rotate = false;      // turned a quarter clockwise to follow the cell's shape
  int32_t scaled_width_px = 0;   // after scaling, before the turn
  int32_t scaled_height_px = 0;
  // After the turn: the part drawn (source offset and size) and its offset in the cell.
  int32_t source_x_px = 0;
  int32_t source_y_px = 0;
  int32_t drawn_width_px = 0;
  int32_t drawn_height_px = 0;
  int32_t offset_x_px = 0;
  int32_t offset_y_px = 0;
};
PhotoFit FitPhotoInCell(const ComposerLayout& layout, int32_t width_px, int32_t height_px);

// JPEG quality of the sheet files: 0 means 90; other values are limited to 1..100.
int SheetJpegQuality(int32_t requested);

// Composes and writes every sheet of `request` except those `already_written` marks (sheet p is skipped
// when already_written[p] is true: the helper program wrote it, and its photos are not even loaded).
// {false, "Failed to initialize GDI+"} without a graphics port; {false, <problem>} for a layout that
// cannot be drawn; {false, "Failed to save grid image: <first path>"} when a sheet could not be written
// (the others are still written, nothing partial is left). Undecodable photos and frames leave their
// cells white and do not fail the job.
GridResult GridComposer(const SheetRequest& request, const platform::Graphics* graphics, platform::FileSystem& files,
                        platform::Clock& clock, const std::vector<bool>& already_written = {});

}  // namespace runner::printing
