// Bake records: one photo's bake request as the interface sends it, its stroke settings, and its outcome.
//
// Reading a request: an entry of "requests" is accepted only when it is a map with "sourcePath" a string
// and "canvasWidth" and "canvasHeight" int32 values; every other key keeps its default when it is absent
// or of the wrong kind. Doubles that cannot stand for a usable value (NaN, infinities, values beyond what
// the field holds) count as the wrong kind too, so the default stands:
//   "imageScale"                         finite, at most 10000 either way (a larger zoom shows less than a
//                                        pixel of any photo)
//   "offsetX", "offsetY"                 finite, at most 1e9 pixels either way (beyond any canvas)
//   "stroke", "strokeScale"              finite and within the range of a 32-bit float
//   "strokeColor"                        finite and within the range of a 64-bit integer
// Paths are UTF-8, taken up to their first NUL.
// Thread safety: plain values; a request is read-only once accepted.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "runner/channels/channel.h"

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
};

struct BakeResult {
  std::string baked_path;  // full path of the written JPEG, set on success
  bool success = false;
  std::string error;       // failure text, set on failure
  int32_t index = -1;      // position of the request in the accepted list
};

// The request that `entry` describes, or nothing when the entry is not accepted (see above).
std::optional<BakeRequest> ReadBakeRequest(const EncodableValue& entry);

// The stroke settings of an "effects" value; all defaults when it is not a map. The colour and tone keys
// the map may also carry are accepted and have no effect on a bake.
BakeEffects ReadBakeEffects(const EncodableValue& effects);

// The reply entry of one result: "success", "index", and "bakedPath" or "error".
EncodableMap BakeResultToMap(const BakeResult& result);

}  // namespace runner::printing
