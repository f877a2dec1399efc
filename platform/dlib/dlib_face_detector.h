// DlibFaceDetector: the FaceDetector over dlib's HOG frontal face detector (the model is compiled into
// the library, nothing is loaded from files).
//
// Speed: the detector scans an image pyramid (each level 5/6 of the one above); the two finest levels
// cost about half of the work. A picture of at least kSplitMinRows rows is analysed in three parts that
// a PartRunner may run at once: the two finest levels on the top and on the bottom half (overlapping by
// more than the tallest window at those levels, so every window lies whole in one half), and the other
// levels on the picture reduced twice exactly as the detector reduces it. The parts' detections are
// merged with the detector's own non-maximum suppression, strongest first. Faces from about 80 pixels
// are found.
#pragma once

#include <memory>
#include <mutex>

#include "platform/face_detector.h"

namespace platform {

inline constexpr int kSplitMinRows = 480;

// Thread safety: every method may be called from any thread at once. The model is read once per
// process (about 0.3 s) and copied into each new detection.
class DlibFaceDetector : public FaceDetector {
 public:
  // Pictures of at least `split_min_rows` rows are analysed in parts (a huge value never splits).
  explicit DlibFaceDetector(int split_min_rows = kSplitMinRows);
  ~DlibFaceDetector() override;

  bool IsSupported() const override { return true; }
  base::StatusOr<std::unique_ptr<FaceDetection>> CreateDetection() const override;

 private:
  struct Model;
  int split_min_rows_;
  mutable std::mutex mutex_;
  mutable std::shared_ptr<const Model> model_;  // read on first use
};

}  // namespace platform
