// Face detection arithmetic: the size cap of the detector picture, face boxes back to the full-size
// upright photo, the diagnostic line, and the path and error-code texts of the "FD: " lines.
//
// The detector sees the upright photo (its EXIF orientation applied) reduced to at most kFaceSizeCapPx
// on its longer side; reported rectangles are in pixels of the full-size upright photo, origin top-left,
// neither rounded nor clamped beyond the clipping of each box to the picture the detector saw.
// Pure functions; thread-compatible.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/face_detector.h"

namespace runner::insight {

inline constexpr int64_t kFaceSizeCapPx = 4096;

struct PixelSize {
  int64_t width_px = 0;
  int64_t height_px = 0;
  bool operator==(const PixelSize&) const = default;
};

// The size of the detector picture for an upright photo of `full`: unchanged when neither side exceeds
// the cap; otherwise both sides times cap / longer side, rounded half away from zero, at least 1.
PixelSize CappedDetectorSize(PixelSize full, int64_t cap_px = kFaceSizeCapPx);

// The detector finds faces from kDetectorWindowPx up (its HOG window). A face narrower than
// 1/kFacesAcrossShortSide of the photo's shorter side is a few millimetres on a magnet, not worth finding,
// so the detector searches a picture reduced until such a face is one window: its shorter side at most
// kDetectorWindowPx * kFacesAcrossShortSide. A detector looks at every scale from its window up, so the
// work grows with the pixels it is given: a 12-megapixel photo is searched at 2560 x 1920.
inline constexpr int64_t kDetectorWindowPx = 80;
inline constexpr int64_t kFacesAcrossShortSide = 24;

// The size the detector searches for a picture of `picture`: unchanged when its shorter side is within
// the limit above; otherwise both sides times limit / shorter side, rounded half away from zero, at least 1.
PixelSize SearchSize(PixelSize picture);

// `boxes` found in a picture of `searched` in pixels of the same picture at `shown` (each edge scaled and
// rounded to the nearest pixel), as the detector would have reported them there.
std::vector<platform::FaceBox> BoxesAt(const std::vector<platform::FaceBox>& boxes, PixelSize searched, PixelSize shown);

struct FaceRect {
  double left = 0;
  double top = 0;
  double width = 0;
  double height = 0;
};

// The scale factors from the detector picture back to the full-size photo: full / scaled per axis, 1 for
// an axis whose scaled side is 0.
struct ScaleBack {
  double x = 1;
  double y = 1;
};
ScaleBack ScaleBackFactors(PixelSize full, PixelSize scaled);

// `boxes` (pixels of a picture of `seen`) clipped to that picture, then scaled by `factors`; a box with no
// area left inside the picture is dropped. Order is kept.
std::vector<FaceRect> MapFaceBoxes(const std::vector<platform::FaceBox>& boxes, PixelSize seen, ScaleBack factors);

// "FD: ori=WxH scaled=SWxSH faces=N" (no line feed).
std::string FaceDiagnosticLine(PixelSize full, PixelSize scaled, size_t faces);

// The device-path rewrite: a path longer than four characters that begins with `\\.\` is opened with
// those four characters replaced by `\\`. Never matches a POSIX path; kept so paths behave as the
// interface expects wherever it sends them.
std::string RewriteDevicePath(std::string_view path);

// "FD: channel detectFacesWindows, paths=N" and, with at least one path, ` first="<first>"`.
std::string ChannelLogLine(const std::vector<std::string>& paths);

}  // namespace runner::insight
