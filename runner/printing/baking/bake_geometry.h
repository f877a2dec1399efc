// Bake geometry: the arithmetic of a render, apart from any drawing, so it can be checked exactly.
//
// Canvas coordinates are pixels with the origin at the top-left corner, y downwards; pixel i covers
// [i, i + 1). Sizes are truncated toward zero where the render works in whole pixels. Everything is
// computed in double precision; a result that would not fit a 32-bit integer is refused (nothing) rather
// than truncated.
// Pure functions, thread-safe.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace runner::printing {

struct PixelSize {
  int width_px = 0;
  int height_px = 0;
  friend bool operator==(const PixelSize&, const PixelSize&) = default;
};

// A rectangle in canvas pixels, origin at its top-left corner.
struct CanvasRect {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
  friend bool operator==(const CanvasRect&, const CanvasRect&) = default;
};

// True when a canvas of width_px x height_px can be made (sides 1..32767, within the pixel budget).
bool CanvasSizeAllowed(int64_t width_px, int64_t height_px);

// The size the photo is wanted at: 1.5 times the canvas, each side truncated.
PixelSize WantedDecodeSize(int canvas_width_px, int canvas_height_px);

// The decode-time reduction of a stored_width x stored_height photo wanted at `wanted` (both in the
// photo's stored orientation): f = max(wanted.h / stored_h, wanted.w / stored_w), target = stored x f
// truncated, used only when it takes at least one side below 75 % (truncated) of its stored size.
// Nothing when the photo is decoded at full size (never enlarged).
std::optional<PixelSize> ReducedDecodeSize(int stored_width_px, int stored_height_px, PixelSize wanted);

// The factor that makes an image_width x image_height photo cover the canvas: max(H / ih, W / iw), or
// with the output turn (the photo will be turned a quarter) max(W / ih, H / iw).
double CoverFactor(int canvas_width_px, int canvas_height_px, int image_width_px, int image_height_px,
                   bool rotate_for_output);

// Moves `coordinate` to the nearest integer, or to the nearest multiple of 0.5 when the canvas side is odd
// (so an odd canvas can centre a picture exactly); halves go away from zero.
double SnapCoordinate(double coordinate, int canvas_side_px);

// Where the photo lands: its drawn size (the photo's size times `factor`, truncated), its snapped position
// (centred, then shifted by the offsets) and the integer rectangle it is drawn into (left and top
// truncated toward zero).
struct PhotoPlacement {
  int drawn_width_px = 0;
  int drawn_height_px = 0;
  double x = 0;  // snapped, as logged
  double y = 0;
  int left_px = 0;
  int top_px = 0;
};

// Nothing when a size or position would not fit a 32-bit integer (or is not finite).
std::optional<PhotoPlacement> PlacePhoto(int canvas_width_px, int canvas_height_px, int image_width_px,
                                         int image_height_px, double factor, double offset_x_px,
                                         double offset_y_px);

// The pen width of a stroke: stroke x 20 x stroke scale, held as a float, at most twice the longer canvas
// side (a wider pen covers the canvas just the same).
float StrokePenWidth(float stroke, float stroke_scale, int canvas_width_px, int canvas_height_px);

// The rectangle the pen is centred on. Outside: (0, 0, W - 1, H - 1), so about half the pen falls off
// the canvas. Inside: (p / 2, p / 2, W - p, H - p), so the whole pen lies on the canvas and covers its
// outer p pixels.
CanvasRect StrokeOutline(int canvas_width_px, int canvas_height_px, float pen_width_px, bool outside);

// Local calendar time of a bake, as the names need it.
struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

// The local time (the machine's time zone) of `when`.
LocalTime ToLocalTime(std::chrono::system_clock::time_point when);

// "PictaVera_Baking_" + year + two-digit month + day + "_" + hour + minute + second, the last four
// without leading zeros: 3 March 2026 9:05:07 gives "PictaVera_Baking_2026033_957".
std::string BakeFolderName(const LocalTime& time);

// "baked_" + index (at least 4 digits, zero-filled) + "_" + hour + minute + second + millisecond (no
// leading zeros) + "_" + counter + ".jpg": index 3 at 09:05:07.042, counter 12 gives
// "baked_0003_95742_12.jpg".
std::string BakedFileName(int32_t index, const LocalTime& time, uint32_t counter);

// A double in the log's form: six significant digits, as a default-formatted stream writes it.
std::string FormatLogDouble(double value);

}  // namespace runner::printing
