// Where the in-process composer puts a photo in its cell: fitted whole inside it (its own rule), or
// covering its magnet and bleed as the helper's photos do.
// Pure functions, thread-safe.
#pragma once

#include <cstdint>
#include <vector>

#include "helper/grid_job.h"
#include "helper/sheet_geometry.h"

namespace runner::printing {

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
// `geometry` is the sheet's, computed with MagnetSizing::kWholeCell: the cell's shape decides the turn.
PhotoFit FitPhotoInCell(const mosalith::SheetGeometry& geometry, int32_t width_px, int32_t height_px);

// Whether a request's photos cover their magnets as the helper's do, rather than fit inside their cells:
// when the request asks for a bleed, a face-aware crop or upright photos, which only a covering photo
// can give.
bool PhotoCoversMagnet(const mosalith::GridJob& request);

// A covering photo's fit: turned to the cell's shape unless the request keeps photos upright, scaled to
// the cover size of the cell grown by the bleed on every side (the helper's cover size), the crop window
// of that size placed by mosalith::CropWindowFor (centred, or by `faces`, fractions of the upright
// photo, when given), drawn centred on the magnet (offsets -bleed). All zero for a photo too large to
// scale.
PhotoFit CoverPhotoInCell(const mosalith::GridJob& request, const mosalith::SheetGeometry& geometry, int32_t width_px,
                          int32_t height_px, const std::vector<mosalith::FaceArea>* faces);

}  // namespace runner::printing
