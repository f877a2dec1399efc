// One batch of face detection: every photo of a "detectFacesWindows" call opened, decoded upright and
// grey at the capped size, analysed (again at full size when nothing was found in a reduced picture of
// at most kMaxFullSizeLookPixels), and turned into its per-image record; or the whole batch failed.
//
// Per-image record (FaceRecord): the path as received, the faces in pixels of the full-size upright photo,
// and the diagnostic line with its line feed, or exactly "FD: detector_create_failed" / "FD: file_open_failed".
// A photo that cannot be opened gets its own record; a photo that opens but cannot be decoded or
// analysed ends the batch, whose answer is then no records at all. Every step writes its "FD: " line.
// Runs on a worker thread; thread-compatible (one batch per thread).
#pragma once

#include <string>
#include <vector>

#include "imaging/bitmap.h"
#include "imaging/memory_budget.h"
#include "platform/face_detector.h"
#include "platform/graphics.h"
#include "runner/insight/face_geometry.h"

namespace runner::insight {

// The largest picture looked at again at full size when its reduced copy showed no face: twice the capped
// picture's area (a 33-megapixel photo). The detector's working memory grows with the pixels it looks at
// (about eight bytes each), so a picture claiming 16000 x 16000 would otherwise cost gigabytes and many
// seconds for a second look; above the limit the reduced look's answer stands.
inline constexpr int64_t kMaxFullSizeLookPixels = 2 * kFaceSizeCapPx * kFaceSizeCapPx;

// The grey value of each pixel of `image` (alpha ignored): the rounded 0.299 R + 0.587 G + 0.114 B.
platform::GrayImage GrayFromBitmap(const imaging::Bitmap& image);

struct FaceRecord {
  std::string image_path;  // as received
  std::vector<FaceRect> faces;
  std::string debug_info;
};

struct FaceBatchPorts {
  const platform::Graphics* graphics = nullptr;
  platform::FaceDetection* detection = nullptr;  // null when the worker has no detector
  platform::PartRunner run_parts;                // how the detector may spread one picture over threads
  std::function<bool()> stopping;                // true when the window is closing: the batch ends early
  std::function<void()> progressed;              // called after each photo (may be empty)
  // The detector's working memory (its picture pyramids and their features, kDetectorBytesPerPixel of
  // the searched picture) is held from it while each picture is searched (null: not counted).
  imaging::MemoryBudget* budget = nullptr;
  // The detector picture's longer side, and the largest photo looked at again at full size when the
  // reduced look found nothing (0: never looked at again).
  int64_t size_cap_px = kFaceSizeCapPx;
  int64_t max_full_size_look_pixels = kMaxFullSizeLookPixels;
};

// What the detector holds while it searches, per pixel of the picture it is given: the grey picture, its
// pyramid (about 3.3 times the picture) and the HOG features of every level (31 floats per 8 x 8 cell),
// measured at about 14.5 bytes on 12-megapixel pictures.
inline constexpr uint64_t kDetectorBytesPerPixel = 16;

// The records of the batch `paths`, one per path, or none when the batch failed (the failure's "FD: "
// line is already written).
std::vector<FaceRecord> RunFaceBatch(const std::vector<std::string>& paths, const FaceBatchPorts& ports);

}  // namespace runner::insight
