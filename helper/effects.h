// A photo's tone and colour effects and its border, applied after it was fitted to its magnet.
//
// All arithmetic is single precision; "clamp" means below 0 gives 0 and 255 or above gives 255, and a
// stored value is truncated. Alpha is never changed by the colour pass, gamma or sharpening.
// Every function changes the photo in place and is re-entrant (one thread per photo).
#pragma once

#include "helper/effect_record.h"
#include "imaging/bitmap.h"

namespace mosalith {

// Colour pass (exposure, brightness, contrast, saturation, grayscale, temperature, tint, shadow), then
// gamma (limited to 0.01..10, skipped within 0.001 of 1), then sharpening (interior pixels only, reading
// the unsharpened neighbours). A neutral record leaves the photo untouched. The size stays. When the
// sharpening's two saved rows cannot be allocated, sharpening is skipped.
void ApplyEffects(imaging::Bitmap& photo, const EffectRecord& effects);

// The border, when stroke > 0: p = stroke * 20 * strokeScale pixels, truncated; nothing below 1 pixel.
// The colour is strokeColor's R, G, B, always opaque. strokeExternal: the photo is shrunk bilinearly into
// the inner rectangle and framed (nothing when 2p reaches the width or height; out of memory leaves the
// photo as it was); otherwise p pixels along each edge are painted over, clipped to the photo.
// The size stays. A photo that reaches `bleed_px` beyond its magnet on every side gets a border that
// much wider, so that the border ends at the magnet's edge and the bleed is border-coloured.
void ApplyBorder(imaging::Bitmap& photo, const EffectRecord& effects, int32_t bleed_px = 0);

}  // namespace mosalith
