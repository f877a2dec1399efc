// Fitting a photo to exactly one magnet: cover scale, then the centre crop or the user's zoom and pan.
#pragma once

#include <cstdint>

#include "helper/effect_record.h"
#include "helper/image_buffer.h"

namespace mosalith {

// Scales the photo so it covers magnet_width_px x magnet_height_px (the smaller side ratio wins, sizes
// truncated). Out of memory: the photo keeps its size.
void CoverScale(ImageBuffer& photo, int32_t magnet_width_px, int32_t magnet_height_px);

// Keeps the centred magnet-sized rectangle (or less where the photo is smaller).
void CenterCrop(ImageBuffer& photo, int32_t magnet_width_px, int32_t magnet_height_px);

// Whether a record asks for the user's zoom and pan (scale != 1 or a non-zero offset).
bool WantsUserTransform(const EffectRecord* effects);

// Resamples the cover-scaled photo around the user's centre and zoom into a magnet-sized, white-backed
// picture, printing the transform line. Returns false, photo unchanged, without a positive viewport or
// when memory runs out.
bool UserTransform(ImageBuffer& photo, const EffectRecord& effects, int32_t magnet_width_px,
                   int32_t magnet_height_px, bool was_rotated);

// Cover scale, then the user transform when the record asks for one, else the centre crop. A user
// transform that cannot run (no positive viewport) falls back to the centre crop, so the result is
// exactly magnet-sized whenever memory allows.
void FitToMagnet(ImageBuffer& photo, const EffectRecord* effects, int32_t magnet_width_px,
                 int32_t magnet_height_px, bool was_rotated);

}  // namespace mosalith
