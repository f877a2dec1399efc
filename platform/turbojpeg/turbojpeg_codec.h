// JPEG decoding and encoding through libjpeg-turbo's TurboJPEG interface, for the graphics adapter.
// Headers are read by the one picture reader (platform/picture/), not here.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics.h"

namespace platform::codecs {

// Decoding to RGBA, the pixels taken from `budget` (none: not counted); kInvalidParameter when the
// picture would need more than the whole budget, kOutOfMemory when the budget refused to wait for it.
// Decoded at the smallest M/8 scale at least min_width_px x min_height_px (when both > 0).
GraphicsStatus DecodeJpeg(const std::vector<uint8_t>& bytes, int min_width_px, int min_height_px, Bitmap* out,
                          MemoryBudget* budget);

// The JFIF density is density_dpi dots per inch when above 0 (at most 65535), else 1:1 without units.
GraphicsStatus EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out, int density_dpi);

}  // namespace platform::codecs
