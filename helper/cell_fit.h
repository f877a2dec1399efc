// Fitting a photo to exactly one magnet: cover scale, then the centre crop or the user's zoom and pan.
//
// Every function changes the photo in place and is re-entrant (one thread per photo).
#pragma once

#include <cstdint>

#include "helper/effect_record.h"
#include "helper/image_buffer.h"

namespace mosalith {

// Scales the photo so it covers magnet_width_px x magnet_height_px: s = max(mH / h, mW / w) in double
// precision, sizes s * w and s * h truncated but never below the magnet's (a rounding error in s * w
// must not leave the photo one pixel short). Out of memory, or a result above kMaxDecodePixels (a
// sliver of a photo blown up to billions of pixels): the photo keeps its size.
void CoverScale(ImageBuffer& photo, int32_t magnet_width_px, int32_t magnet_height_px);

// Keeps the centred magnet-sized rectangle (or less where the photo is smaller): left offset
// max(0, (w - mW) / 2), top offset max(0, (h - mH) / 2). Out of memory: the photo stays as it was.
void CenterCrop(ImageBuffer& photo, int32_t magnet_width_px, int32_t magnet_height_px);

// Whether a record asks for the user's zoom and pan (scale != 1 or a non-zero offset).
bool WantsUserTransform(const EffectRecord* effects);

// Resamples the cover-scaled photo around the user's centre and zoom into a magnet-sized, white-backed
// picture (bilinear, single precision), printing the "Mosalith TRANSFORM DEBUG:" line. The offsets are
// in viewport units; `was_rotated` swaps the viewport's sides because the photo was turned to the
// magnet. Output pixels whose sample falls outside [0, w - 1) x [0, h - 1) stay opaque white. Returns
// false, photo unchanged, without a positive viewport (no line then) or when memory runs out.
bool UserTransform(ImageBuffer& photo, const EffectRecord& effects, int32_t magnet_width_px,
                   int32_t magnet_height_px, bool was_rotated);

// Cover scale, then the user transform when the record asks for one, else the centre crop. A user
// transform that cannot run (no positive viewport) falls back to the centre crop, so the result is
// exactly magnet-sized whenever memory allows.
void FitToMagnet(ImageBuffer& photo, const EffectRecord* effects, int32_t magnet_width_px,
                 int32_t magnet_height_px, bool was_rotated);

}  // namespace mosalith
