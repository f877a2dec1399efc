// A photo's tone and colour effects and its border, applied after it was fitted to its magnet.
//
// All arithmetic is single precision; "clamp" means below 0 gives 0 and 255 or above gives 255, and a
// stored value is truncated. Alpha is never changed by the colour pass, gamma or sharpening.
#pragma once

#include "helper/effect_record.h"
#include "helper/image_buffer.h"

namespace mosalith {

// Colour pass (exposure, brightness, contrast, saturation, grayscale, temperature, tint, shadow), then
// gamma, then sharpening. A neutral record leaves the photo untouched. The size stays.
void ApplyEffects(ImageBuffer& photo, const EffectRecord& effects);

// The border, when stroke > 0: outside (photo shrunk inside it) or over the photo's edge. The size stays.
void ApplyBorder(ImageBuffer& photo, const EffectRecord& effects);

}  // namespace mosalith
