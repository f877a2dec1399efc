// FaceDetector: finding frontal faces in a grey picture.
//
// Boxes are in pixels of the picture given to the detector, origin at its top-left corner, y downwards.
// They may reach past the picture's edges (a detector's window can overhang them): callers clip.
// Which faces are found (the model, its smallest face, its threshold) is the detector's own business.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"

namespace platform {

// 8-bit grey pixels, rows top to bottom without gaps: width_px * height_px bytes.
struct GrayImage {
  int width_px = 0;
  int height_px = 0;
  std::vector<uint8_t> pixels;
};

struct FaceBox {
  int64_t left_px = 0;
  int64_t top_px = 0;
  int64_t width_px = 0;
  int64_t height_px = 0;
};

// Runs part(0) .. part(count - 1), each exactly once, perhaps several at the same time on threads the
// caller owns, and returns when all have run. Lets a detector spread one picture over the machine's
// cores without starting threads of its own.
using PartRunner = std::function<void(size_t count, const std::function<void(size_t part)>& part)>;

// A detector ready to run, with its own working memory.
// Thread safety: one thread at a time (parts it hands to a PartRunner are its own concern).
class FaceDetection {
 public:
  virtual ~FaceDetection() = default;

  // The faces in `image`, strongest first; an empty list when there are none. kInvalidArgument for a
  // picture without pixels, kOutOfMemory, or kFailed with the detector's own words.
  virtual base::StatusOr<std::vector<FaceBox>> Detect(const GrayImage& image, const PartRunner& run_parts) = 0;
};

// Thread safety: every method may be called from any thread at once.
class FaceDetector {
 public:
  virtual ~FaceDetector() = default;

  // Whether this machine can detect faces at all.
  virtual bool IsSupported() const = 0;

  // A new detector, owned by the caller. Creating one can take a noticeable time (loading a model), so a
  // worker keeps its own for as long as it runs. kFailed, with the detector's own words, when the model
  // cannot be loaded.
  virtual base::StatusOr<std::unique_ptr<FaceDetection>> CreateDetection() const = 0;
};

}  // namespace platform
