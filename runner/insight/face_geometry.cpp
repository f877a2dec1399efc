// Face detection arithmetic.
#include "runner/insight/face_geometry.h"

#include <algorithm>
#include <cmath>

namespace runner::insight {

PixelSize CappedDetectorSize(PixelSize full, int64_t cap_px) {
  if (full.width_px <= cap_px && full.height_px <= cap_px) return full;
  const double scale = static_cast<double>(cap_px) / static_cast<double>(std::max(full.width_px, full.height_px));
  // std::round rounds halves away from zero.
  const auto side = [scale](int64_t px) {
    return std::max<int64_t>(1, static_cast<int64_t>(std::round(static_cast<double>(px) * scale)));
  };
  return {side(full.width_px), side(full.height_px)};
}

PixelSize SearchSize(PixelSize picture) {
  const int64_t shorter = std::min(picture.width_px, picture.height_px);
  constexpr int64_t kLimit = kDetectorWindowPx * kFacesAcrossShortSide;
  if (shorter <= kLimit) return picture;
  const double scale = static_cast<double>(kLimit) / static_cast<double>(shorter);
  const auto side = [scale](int64_t px) {
    return std::max<int64_t>(1, static_cast<int64_t>(std::round(static_cast<double>(px) * scale)));
  };
  return {side(picture.width_px), side(picture.height_px)};
}

std::vector<platform::FaceBox> BoxesAt(const std::vector<platform::FaceBox>& boxes, PixelSize searched, PixelSize shown) {
  if (searched == shown || searched.width_px <= 0 || searched.height_px <= 0) return boxes;
  const double x = static_cast<double>(shown.width_px) / static_cast<double>(searched.width_px);
  const double y = static_cast<double>(shown.height_px) / static_cast<double>(searched.height_px);
  std::vector<platform::FaceBox> mapped;
  mapped.reserve(boxes.size());
  for (const platform::FaceBox& box : boxes) {
    const int64_t left = std::llround(static_cast<double>(box.left_px) * x);
    const int64_t top = std::llround(static_cast<double>(box.top_px) * y);
    const int64_t right = std::llround(static_cast<double>(box.left_px + box.width_px) * x);
    const int64_t bottom = std::llround(static_cast<double>(box.top_px + box.height_px) * y);
    mapped.push_back({left, top, right - left, bottom - top});
  }
  return mapped;
}

ScaleBack ScaleBackFactors(PixelSize full, PixelSize scaled) {
  ScaleBack factors;
  if (scaled.width_px != 0) factors.x = static_cast<double>(full.width_px) / static_cast<double>(scaled.width_px);
  if (scaled.height_px != 0) factors.y = static_cast<double>(full.height_px) / static_cast<double>(scaled.height_px);
  return factors;
}

std::vector<FaceRect> MapFaceBoxes(const std::vector<platform::FaceBox>& boxes, PixelSize seen, ScaleBack factors) {
  std::vector<FaceRect> rects;
  rects.reserve(boxes.size());
  for (const platform::FaceBox& box : boxes) {
    if (box.width_px <= 0 || box.height_px <= 0) continue;
    // Clip in 64-bit integers first, so a box overhanging the top or left edge never turns into a huge
    // unsigned coordinate.
    const int64_t left = std::clamp<int64_t>(box.left_px, 0, seen.width_px);
    const int64_t top = std::clamp<int64_t>(box.top_px, 0, seen.height_px);
    const int64_t right = std::clamp<int64_t>(box.left_px + box.width_px, 0, seen.width_px);
    const int64_t bottom = std::clamp<int64_t>(box.top_px + box.height_px, 0, seen.height_px);
    if (right <= left || bottom <= top) continue;
    rects.push_back({static_cast<double>(left) * factors.x, static_cast<double>(top) * factors.y,
                     static_cast<double>(right - left) * factors.x, static_cast<double>(bottom - top) * factors.y});
  }
  return rects;
}

std::string FaceDiagnosticLine(PixelSize full, PixelSize scaled, size_t faces) {
  return "FD: ori=" + std::to_string(full.width_px) + "x" + std::to_string(full.height_px) +
         " scaled=" + std::to_string(scaled.width_px) + "x" + std::to_string(scaled.height_px) +
         " faces=" + std::to_string(faces);
}

std::string RewriteDevicePath(std::string_view path) {
  constexpr std::string_view kDevicePrefix = "\\\\.\\";
  if (path.size() > kDevicePrefix.size() && path.substr(0, kDevicePrefix.size()) == kDevicePrefix) {
    return "\\\\" + std::string(path.substr(kDevicePrefix.size()));
  }
  return std::string(path);
}

std::string ChannelLogLine(const std::vector<std::string>& paths) {
  std::string line = "FD: channel detectFacesWindows, paths=" + std::to_string(paths.size());
  if (!paths.empty()) line += " first=\"" + paths.front() + "\"";
  return line;
}

}  // namespace runner::insight
