// Where a cover crop lies in its picture: centred, or moved so that the picture's faces stay inside the
// magnet. Shared by both composers and the preflight, so a face kept on the sheet is the face the
// preflight promised.
//
// Coordinates are pixels of the cover-scaled picture as it lies on the magnet (after any quarter turn),
// origin at its top-left corner. Pure functions, safe from any thread; part of the job-format library.
#pragma once

#include <cstdint>
#include <vector>

#include "helper/grid_job.h"

namespace mosalith {

// A face of the upright picture, as it lies after the picture was turned a quarter clockwise.
FaceArea TurnedClockwise(const FaceArea& face);

// How far a face is grown before it is kept in the crop, in face heights: a detector's box runs from
// the brows to the chin, and a magnet that keeps only that has lost the top of the head.
inline constexpr double kFaceGrowthAbove = 0.5;
inline constexpr double kFaceGrowthSides = 0.2;
inline constexpr double kFaceGrowthBelow = 0.2;

struct CropWindow {
  int32_t left_px = 0;
  int32_t top_px = 0;
  bool operator==(const CropWindow&) const = default;
};

// The crop window of window_width x window_height in a cover-scaled picture of cover_width x
// cover_height (the window fits inside it). The magnet is the window less `inset_px` (the bleed) on
// every side. Without faces the window is centred: ((cover - window) / 2, truncated). With faces
// (fractions of the upright picture; `turned`: the picture lies turned a quarter clockwise), along each
// axis the window moves the least distance from the centre that keeps every face, grown as above,
// inside the magnet; when the grown faces do not fit, the bare faces; when those do not fit either, the
// window is centred on them. It never leaves the picture.
CropWindow CropWindowFor(int32_t cover_width_px, int32_t cover_height_px, int32_t window_width_px,
                         int32_t window_height_px, int32_t inset_px, const std::vector<FaceArea>& faces,
                         bool turned);

}  // namespace mosalith
