// Reading bake requests and their effects from channel values.
#include "runner/printing/baking/bake_args.h"

#include <cmath>
#include <limits>

#include "runner/channels/channel_args.h"

namespace runner::printing {
namespace {

std::string UpToNul(const std::string& text) { return text.substr(0, text.find('\0')); }

// A double under `key` that is finite and within [-limit, limit], else nothing.
std::optional<double> BoundedDouble(const EncodableMap& map, std::string_view key, double limit) {
  const std::optional<double> value = LookUp(map, key, kDouble).value;
  if (!value || !std::isfinite(*value) || std::fabs(*value) > limit) return std::nullopt;
  return value;
}

constexpr double kFloatLimit = std::numeric_limits<float>::max();
constexpr double kUnbounded = std::numeric_limits<double>::max();
constexpr double kMaxImageScale = 10000.0;
constexpr double kMaxOffsetPx = 1e9;

}  // namespace

BakeEffects ReadBakeEffects(const EncodableValue& value) {
  BakeEffects effects;
  const std::optional<const EncodableMap*> map = Read(&value, kMap);
  if (!map) return effects;
  if (auto stroke = BoundedDouble(**map, "stroke", kFloatLimit)) effects.stroke = static_cast<float>(*stroke);
  if (auto external = BoundedDouble(**map, "strokeExternal", kUnbounded)) effects.stroke_external = *external >= 0.5;
  // -2^63 <= x < 2^63 fits int64 after truncation; its low 32 bits are the colour.
  if (const std::optional<double> colour = LookUp(**map, "strokeColor", kDouble).value;
      colour && std::isfinite(*colour) && *colour >= -0x1p63 && *colour < 0x1p63) {
    effects.stroke_color = static_cast<uint32_t>(static_cast<uint64_t>(static_cast<int64_t>(*colour)));
  }
  if (auto scale = BoundedDouble(**map, "strokeScale", kFloatLimit)) effects.stroke_scale = static_cast<float>(*scale);
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
  if (auto frame = LookUp(**map, "framePath", kString).value; frame && !frame->empty()) {
    request.frame_path = UpToNul(*frame);
  }
  if (auto scale = BoundedDouble(**map, "imageScale", kMaxImageScale)) request.image_scale = *scale;
  if (auto x = BoundedDouble(**map, "offsetX", kMaxOffsetPx)) request.offset_x_px = *x;
  if (auto y = BoundedDouble(**map, "offsetY", kMaxOffsetPx)) request.offset_y_px = *y;
  if (auto rotate = LookUp(**map, "rotateForOutput", kBool).value) request.rotate_for_output = *rotate;
  if (const EncodableValue* effects = FindKey(**map, "effects")) request.effects = ReadBakeEffects(*effects);
  return request;
}

}  // namespace runner::printing
