// Crop placement: centred, or moved the least distance that keeps the faces inside the magnet.
#include "helper/crop_focus.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace mosalith {
namespace {

struct Span {
  double low = std::numeric_limits<double>::infinity();
  double high = -std::numeric_limits<double>::infinity();
  void Add(double a, double b) {
    low = std::min(low, a);
    high = std::max(high, b);
  }
};

// The start of a window of `window` along an axis of `extent`, keeping `keep` inside [start + inset,
// start + window - inset) when it can.
int32_t StartOnAxis(int32_t extent, int32_t window, int32_t inset, const Span& grown, const Span& bare) {
  const int64_t centred = (int64_t{extent} - window) / 2;
  if (!(bare.low <= bare.high)) return static_cast<int32_t>(centred);  // no faces
  const double last_start = static_cast<double>(int64_t{extent} - window);
  const double magnet = static_cast<double>(int64_t{window} - 2 * int64_t{inset});
  for (const Span& keep : {grown, bare}) {
    if (keep.high - keep.low > magnet) continue;
    // Starts that keep it: from (high - magnet - inset) to (low - inset), within the picture.
    const double lowest = std::max(0.0, std::ceil(keep.high - magnet - inset));
    const double highest = std::min(last_start, std::floor(keep.low - inset));
    if (lowest > highest) continue;
    return static_cast<int32_t>(std::clamp(static_cast<double>(centred), lowest, highest));
  }
  const double on_faces = std::floor((bare.low + bare.high) / 2 - window / 2.0);
  if (!std::isfinite(on_faces)) return static_cast<int32_t>(centred);
  return static_cast<int32_t>(std::clamp(on_faces, 0.0, last_start));
}

}  // namespace

FaceArea TurnedClockwise(const FaceArea& face) {
  // (x, y) of the upright picture lands at (1 - y, x).
  return FaceArea{1.0 - face.top - face.height, face.left, face.height, face.width};
}

CropWindow CropWindowFor(int32_t cover_width_px, int32_t cover_height_px, int32_t window_width_px,
                         int32_t window_height_px, int32_t inset_px, const std::vector<FaceArea>& faces,
                         bool turned) {
  // The upright picture's sides, for growing a face by its height in the same units across and down.
  const double upright_width = turned ? cover_height_px : cover_width_px;
  const double upright_height = turned ? cover_width_px : cover_height_px;
  Span grown_x, grown_y, bare_x, bare_y;
  for (const FaceArea& face : faces) {
    // A face is a part of the picture: a rectangle reaching far beyond it is no face at all.
    auto within = [](double fraction) { return fraction >= -1.0 && fraction <= 2.0; };
    if (!within(face.left) || !within(face.top) || !(face.width > 0) || !(face.height > 0) ||
        !within(face.left + face.width) || !within(face.top + face.height)) {
      continue;
    }
    const double sides = kFaceGrowthSides * face.height * upright_height / upright_width;
    const double left = std::max(0.0, face.left - sides);
    const double top = std::max(0.0, face.top - kFaceGrowthAbove * face.height);
    const double right = std::min(1.0, face.left + face.width + sides);
    const double bottom = std::min(1.0, face.top + face.height * (1 + kFaceGrowthBelow));
    FaceArea grown{left, top, right - left, bottom - top};
    FaceArea bare = face;
    if (turned) {
      grown = TurnedClockwise(grown);
      bare = TurnedClockwise(bare);
    }
    bare_x.Add(bare.left * cover_width_px, (bare.left + bare.width) * cover_width_px);
    bare_y.Add(bare.top * cover_height_px, (bare.top + bare.height) * cover_height_px);
    grown_x.Add(grown.left * cover_width_px, (grown.left + grown.width) * cover_width_px);
    grown_y.Add(grown.top * cover_height_px, (grown.top + grown.height) * cover_height_px);
  }
  return CropWindow{StartOnAxis(cover_width_px, window_width_px, inset_px, grown_x, bare_x),
                    StartOnAxis(cover_height_px, window_height_px, inset_px, grown_y, bare_y)};
}

}  // namespace mosalith
