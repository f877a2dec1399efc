// GridComposer: the in-process sheet composer used when the helper program cannot do the job.
//
// Simpler than the helper: each photo is turned upright by its EXIF orientation, turned a quarter when its
// shape is across the cell's, fitted whole inside its cell (scale min(cell / photo)) and centred on white;
// a frame, turned with its photo, is stretched over the whole cell, and only over cells whose photo was
// drawn. No zoom, effects, border or magnet aspect ratio, and no cut lines for showCutGrid. A request
// that asks for a bleed, a face-aware crop or upright photos gets covering photos as the helper makes
// them (PhotoCoversMagnet); gaps, the cut guides a request names with cutGuides and a frame covering in
// its own shape are drawn as the helper draws them. Sheets are composed in order on the calling thread
// and written as JPEG.
// Thread safety: re-entrant; jobs on different threads share nothing.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "helper/sheet_geometry.h"
#include "runner/printing/sheets/photo_fit.h"
#include "runner/printing/sheets/sheet_job_records.h"

namespace platform {
class Clock;
class FileSystem;
class Graphics;
}  // namespace platform

namespace imaging::colour {
class ColourTransforms;
}

namespace runner::printing {

// Composes and writes every sheet of `request` except those `already_written` marks (sheet p is skipped
// when already_written[p] is true: the helper program wrote it, and its photos are not even loaded).
// The cells are those of the helper's layout (helper/sheet_geometry.h), each magnet the whole cell; the
// sheets state the helper's resolution (SheetDensityDpi) at its quality rule (SheetJpegQuality).
// {false, "Failed to initialize GDI+"} without a graphics port; {false, <problem>} for a layout that
// cannot be drawn (the helper's text); {false, "Failed to save grid image: <first path>"} when a sheet
// could not be written (the others are still written, nothing partial is left). Undecodable photos and
// frames leave their cells white and do not fail the job.
// Pictures are converted into the job's colorProfile space (a table of its own when `transforms` is null)
// at their cell size, frames too; the sheets carry that space's profile.
GridResult GridComposer(const mosalith::GridJob& request, const platform::Graphics* graphics,
                        platform::FileSystem& files, platform::Clock& clock,
                        const std::vector<bool>& already_written = {},
                        imaging::colour::ColourTransforms* transforms = nullptr);

}  // namespace runner::printing
