// EffectRecord: one photo's crop, tone, colour, border and gamma values, as a grid job file carries them.
//
// The 19 values are stored and written in this order; a default-constructed record holds the neutral
// values (a record the job file does not set). Part of the job-file library that the application links.
#pragma once

#include <cstdint>

namespace mosalith {

struct EffectRecord {
  float brightness = 0.5f;      // slider, 0.5 = unchanged
  float contrast = 0.0f;        // 0 = unchanged
  float saturation = 0.5f;      // slider, 0.5 = unchanged
  float exposure = 0.5f;        // slider, 0.5 = unchanged
  float grayscale = 0.0f;       // blend towards grey, 0..1
  float temperature = 0.0f;     // colour temperature shift
  float sharpness = 0.0f;       // sharpening amount, 0 = off
  float wbTint = 0.0f;          // white-balance tint
  float shadow = 0.0f;          // fade towards white
  float scale = 1.0f;           // user zoom
  float offsetX = 0.0f;         // user pan, viewport units
  float offsetY = 0.0f;         // user pan, viewport units
  float viewportWidth = 0.0f;   // editing viewport the offsets refer to
  float viewportHeight = 0.0f;
  float stroke = 0.0f;          // border width factor, 0 = no border
  float strokeScale = 1.0f;     // border width multiplier
  uint32_t strokeColor = 0xFFFFFFFFu;  // 0xAARRGGBB; alpha is ignored, the border is opaque
  bool strokeExternal = true;   // true: photo shrunk inside the border; false: border painted over the edge
  float gamma = 1.0f;           // 1 = unchanged

  bool operator==(const EffectRecord&) const = default;
};

// Whether a record asks for the user's zoom and pan (scale != 1 or a non-zero offset).
inline bool WantsUserTransform(const EffectRecord* effects) {
  return effects != nullptr && (effects->scale != 1.0f || effects->offsetX != 0.0f || effects->offsetY != 0.0f);
}

}  // namespace mosalith
