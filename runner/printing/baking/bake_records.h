// Bake records: one photo's bake request, its stroke settings, and its outcome (read from the channel's
// arguments by bake_args.h).
// Thread safety: plain values; a request is read-only once accepted.
#pragma once

#include <cstdint>
#include <string>

namespace runner::printing {

struct BakeEffects {
  float stroke = 0.0f;                // stroke width control; no stroke unless above 0
  bool stroke_external = false;       // "strokeExternal" of at least 0.5: the pen is centred on the edge
  uint32_t stroke_color = 0xFF000000; // 0xAARRGGBB: the low 32 bits of the double truncated toward zero
  float stroke_scale = 1.0f;
};

struct BakeRequest {
  std::string source_path;
  std::string frame_path;  // empty: no frame
  int32_t canvas_width_px = 0;
  int32_t canvas_height_px = 0;
  double image_scale = 1.0;
  double offset_x_px = 0.0;
  double offset_y_px = 0.0;
  bool rotate_for_output = false;
  BakeEffects effects;
  // Set when a value cannot mean anything on a canvas (a zoom of 0, a stroke wider than the canvas): the
  // request keeps its place and is answered as a failed image with this text, and nothing is drawn.
  std::string refusal;
};

struct BakeResult {
  std::string baked_path;  // full path of the written JPEG, set on success
  bool success = false;
  std::string error;       // failure text, set on failure
  std::string reason;      // why the photo could not be used ("damaged data", ...), when that failed
  int32_t index = -1;      // position of the request in the accepted list
};

}  // namespace runner::printing
