// Reading bake requests and their effects from channel values.
#include "runner/printing/baking/bake_args.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "runner/channels/channel_args.h"
#include "runner/channels/channel_errors.h"

namespace runner::printing {
namespace {

std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

constexpr double kMaxImageScale = 10000.0;
constexpr double kMaxOffsetPx = 1e9;

// A double under `key`, when it is one, within [low, high] and finite; a double outside sets `*refusal`
// (unless one is set already) and gives nothing.
std::optional<double> RangedDouble(const EncodableMap& map, std::string_view key, double low, double high,
                                   const char* expected, std::string* refusal) {
  const std::optional<double> value = LookUp(map, key, kDouble).value;
  if (!value) return std::nullopt;
  if (std::isfinite(*value) && *value >= low && *value <= high) return value;
  if (refusal->empty()) *refusal = InvalidValueForKey(key, expected).message;
  return std::nullopt;
}

// The pen of the stroke in pixels, as the renderer draws it.
double PenWidthPx(const BakeEffects& effects) {
  return static_cast<double>(effects.stroke) * 20.0 * static_cast<double>(effects.stroke_scale);
}

}  // namespace

BakeEffects ReadBakeEffects(const EncodableValue& value, std::string* refusal) {
  BakeEffects effects;
  const std::optional<const EncodableMap*> map = Read(&value, kMap);
  if (!map) return effects;
  std::string ignored;
  if (refusal == nullptr) refusal = &ignored;
  constexpr double kFloat = std::numeric_limits<float>::max();
  if (auto stroke = RangedDouble(**map, "stroke", -kFloat, kFloat, "a finite number", refusal)) {
    effects.stroke = static_cast<float>(*stroke);
  }
  if (auto external = LookUp(**map, "strokeExternal", kDouble).value; external && std::isfinite(*external)) {
    effects.stroke_external = *external >= 0.5;
  }
  // -2^63 <= x < 2^63 fits int64 after truncation; its low 32 bits are the colour.
  if (const std::optional<double> colour = LookUp(**map, "strokeColor", kDouble).value;
      colour && std::isfinite(*colour) && *colour >= -0x1p63 && *colour < 0x1p63) {
    effects.stroke_color = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(*colour)));
  }
  if (auto scale = RangedDouble(**map, "strokeScale", -kFloat, kFloat, "a finite number", refusal)) {
    effects.stroke_scale = static_cast<float>(*scale);
  }
  return effects;
}

std::optional<BakeRequest> ReadBakeRequest(const EncodableValue& entry) {
  const std::optional<const EncodableMap*> map = Read(&entry, kMap);
  if (!map) return std::nullopt;
  const std::optional<std::string> source = LookUp(**map, "sourcePath", kString).value;
  const std::optional<int32_t> width = LookUp(**map, "canvasWidth", kInt32).value;
  const std::optional<int32_t> height = LookUp(**map, "canvasHeight", kInt32).value;
  if (!source || !width || !height) return std::nullopt;

  BakeRequest request;
  request.source_path = UpToNul(*source);
  request.canvas_width_px = *width;
  request.canvas_height_px = *height;
  std::string& refusal = request.refusal;
  if (*width <= 0) refusal = InvalidValueForKey("canvasWidth", "above 0").message;
  if (*height <= 0 && refusal.empty()) refusal = InvalidValueForKey("canvasHeight", "above 0").message;
  if (auto frame = LookUp(**map, "framePath", kString).value; frame && !frame->empty()) {
    request.frame_path = UpToNul(*frame);
  }
  // A zoom of 0 or below has no picture to show: refused, as the 1e-300 that rounds to it.
  if (auto scale = RangedDouble(**map, "imageScale", std::numeric_limits<double>::min(), kMaxImageScale,
                                "above 0 and at most 10000", &refusal)) {
    request.image_scale = *scale;
  }
  const char* within = "a finite number from -1e9 to 1e9";
  if (auto x = RangedDouble(**map, "offsetX", -kMaxOffsetPx, kMaxOffsetPx, within, &refusal)) request.offset_x_px = *x;
  if (auto y = RangedDouble(**map, "offsetY", -kMaxOffsetPx, kMaxOffsetPx, within, &refusal)) request.offset_y_px = *y;
  if (auto rotate = LookUp(**map, "rotateForOutput", kBool).value) request.rotate_for_output = *rotate;
  if (const EncodableValue* effects = FindKey(**map, "effects")) request.effects = ReadBakeEffects(*effects, &refusal);
  // A pen wider than the canvas covers it whole: the photo would be a plain rectangle of the stroke.
  const double longer_side = std::max(request.canvas_width_px, request.canvas_height_px);
  if (refusal.empty() && request.effects.stroke > 0 && PenWidthPx(request.effects) > longer_side) {
    refusal = InvalidValueForKey("stroke", "a stroke no wider than the canvas (" +
                                               std::to_string(request.canvas_width_px) + "x" +
                                               std::to_string(request.canvas_height_px) + ")")
                  .message;
  }
  return request;
}

}  // namespace runner::printing
