// Bake geometry: decode sizes, cover factor, placement, stroke rectangles and names.
#include "runner/printing/baking/bake_geometry.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "imaging/bitmap.h"

namespace runner::printing {
namespace {

constexpr double kInt32Min = -2147483648.0;
constexpr double kInt32Max = 2147483647.0;

bool FitsInt32(double value) { return std::isfinite(value) && value >= kInt32Min && value <= kInt32Max; }

}  // namespace

bool CanvasSizeAllowed(int64_t width_px, int64_t height_px) { return imaging::CanvasSizeWithinLimits(width_px, height_px); }

PixelSize WantedDecodeSize(int canvas_width_px, int canvas_height_px) {
  // Canvas sides are at most 32767 here, so 1.5 times them always fits.
  return {static_cast<int>(canvas_width_px * 1.5), static_cast<int>(canvas_height_px * 1.5)};
}

std::optional<PixelSize> ReducedDecodeSize(int stored_width_px, int stored_height_px, PixelSize wanted) {
  if (wanted.width_px <= 0 || wanted.height_px <= 0 || stored_width_px <= 0 || stored_height_px <= 0) {
    return std::nullopt;
  }
  if (wanted.width_px >= stored_width_px && wanted.height_px >= stored_height_px) return std::nullopt;
  const double factor = std::max(static_cast<double>(wanted.height_px) / stored_height_px,
                                 static_cast<double>(wanted.width_px) / stored_width_px);
  const PixelSize target{static_cast<int>(stored_width_px * factor), static_cast<int>(stored_height_px * factor)};
  // A reduction by less than a quarter in both directions saves too little to be worth a resample.
  const int three_quarter_width = static_cast<int>(stored_width_px * 0.75);
  const int three_quarter_height = static_cast<int>(stored_height_px * 0.75);
  if (target.width_px < three_quarter_width || target.height_px < three_quarter_height) {
    if (target.width_px < 1 || target.height_px < 1) return std::nullopt;
    return target;
  }
  return std::nullopt;
}

double CoverFactor(int canvas_width_px, int canvas_height_px, int image_width_px, int image_height_px,
                   bool rotate_for_output) {
  const double w = canvas_width_px;
  const double h = canvas_height_px;
  if (rotate_for_output) return std::max(w / image_height_px, h / image_width_px);
  return std::max(h / image_height_px, w / image_width_px);
}

double SnapCoordinate(double coordinate, int canvas_side_px) {
  if (canvas_side_px % 2 != 0) return std::round(coordinate * 2.0) / 2.0;
  return std::round(coordinate);
}

std::optional<PhotoPlacement> PlacePhoto(int canvas_width_px, int canvas_height_px, int image_width_px,
                                         int image_height_px, double factor, double offset_x_px,
                                         double offset_y_px) {
  const double drawn_width = image_width_px * factor;
  const double drawn_height = image_height_px * factor;
  if (!FitsInt32(drawn_width) || !FitsInt32(drawn_height)) return std::nullopt;
  PhotoPlacement placement;
  placement.drawn_width_px = static_cast<int>(drawn_width);
  placement.drawn_height_px = static_cast<int>(drawn_height);
  const double x = canvas_width_px * 0.5 - placement.drawn_width_px * 0.5 + offset_x_px;
  const double y = canvas_height_px * 0.5 - placement.drawn_height_px * 0.5 + offset_y_px;
  placement.x = SnapCoordinate(x, canvas_width_px);
  placement.y = SnapCoordinate(y, canvas_height_px);
  if (!FitsInt32(placement.x) || !FitsInt32(placement.y)) return std::nullopt;
  placement.left_px = static_cast<int>(placement.x);
  placement.top_px = static_cast<int>(placement.y);
  return placement;
}

float StrokePenWidth(float stroke, float stroke_scale, int canvas_width_px, int canvas_height_px) {
  const double pen = static_cast<double>(stroke) * 20.0 * static_cast<double>(stroke_scale);
  const double widest = 2.0 * std::max(canvas_width_px, canvas_height_px);
  if (!std::isfinite(pen)) return pen > 0 ? static_cast<float>(widest) : 0.0f;
  return static_cast<float>(std::min(pen, widest));
}

CanvasRect StrokeOutline(int canvas_width_px, int canvas_height_px, float pen_width_px, bool outside) {
  if (outside) return {0.0, 0.0, canvas_width_px - 1.0, canvas_height_px - 1.0};
  const double pen = pen_width_px;
  return {pen / 2.0, pen / 2.0, canvas_width_px - pen, canvas_height_px - pen};
}

LocalTime ToLocalTime(std::chrono::system_clock::time_point when) {
  const auto since_epoch = when.time_since_epoch();
  const auto seconds = std::chrono::floor<std::chrono::seconds>(since_epoch);
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  std::tm parts{};
  localtime_r(&whole, &parts);  // the re-entrant form: bake workers read the time at once
  LocalTime local;
  local.year = parts.tm_year + 1900;
  local.month = parts.tm_mon + 1;
  local.day = parts.tm_mday;
  local.hour = parts.tm_hour;
  local.minute = parts.tm_min;
  local.second = parts.tm_sec;
  local.millisecond =
      static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(since_epoch - seconds).count());
  return local;
}

std::string BakeFolderName(const LocalTime& t) {
  char month[8];
  std::snprintf(month, sizeof month, "%02d", t.month);
  return "PictaVera_Baking_" + std::to_string(t.year) + month + std::to_string(t.day) + "_" +
         std::to_string(t.hour) + std::to_string(t.minute) + std::to_string(t.second);
}

std::string BakedFileName(int32_t index, const LocalTime& t, uint32_t counter) {
  char number[16];
  std::snprintf(number, sizeof number, "%04d", static_cast<int>(index));
  return "baked_" + std::string(number) + "_" + std::to_string(t.hour) + std::to_string(t.minute) +
         std::to_string(t.second) + std::to_string(t.millisecond) + "_" + std::to_string(counter) + ".jpg";
}

std::string FormatLogDouble(double value) {
  char text[32];
  const auto [end, error] = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 6);
  if (error != std::errc()) return "?";
  return std::string(text, end);
}

}  // namespace runner::printing
