// The faces of a sheet's photos, for crops that keep them and for the preflight: found as
// "detectFacesWindows" finds them (runner/insight/face_batch.h), but in the photo reduced to at most
// kSheetFaceSizeCapPx on its longer side and without a second look at full size: a face that matters to
// a magnet's crop is one of the photo's larger ones (at least the detector's smallest face, 80 pixels,
// in 2048: 4 % of the photo's longer side), and a 12-megapixel photo is looked at four times faster.
// One photo at a time, so that a photo that cannot be analysed costs only its own faces; faces are given
// as fractions of the upright photo (mosalith::FaceArea), whatever size the photo is decoded at later.
// Runs on the calling worker thread (never the platform thread); thread-compatible.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "helper/grid_job.h"
#include "platform/face_detector.h"
#include "platform/graphics.h"

namespace runner::insight {

inline constexpr int64_t kSheetFaceSizeCapPx = 2048;

struct PhotoFaces {
  bool analysed = false;                 // false: the photo could not be opened, decoded or analysed
  std::vector<mosalith::FaceArea> faces;  // strongest first; empty when none was found
};

// One entry per path, in order. Without a detector (or one that cannot be created on this machine)
// every photo is "not analysed". `stopping` (may be empty) ends the search early when the application
// closes; the photos not reached are "not analysed".
std::vector<PhotoFaces> FindPhotoFaces(const std::vector<std::string>& paths, const platform::Graphics& graphics,
                                       const platform::FaceDetector* detector, const std::function<bool()>& stopping);

}  // namespace runner::insight
