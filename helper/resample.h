// Resampling RGBA pictures to a new size. Re-entrant: the resampler keeps no state between calls.
#pragma once

#include <cstdint>

#include "helper/image_buffer.h"

namespace mosalith {

// Resizes `image` in place to width_px x height_px: alpha-weighted (premultiplied) RGBA, linear
// 8-bit data, clamped edges, the library's default filter. Returns false and leaves the image unchanged
// when a size is below 1, memory runs out or the resampler fails.
bool ResizeRgba(ImageBuffer& image, int32_t width_px, int32_t height_px);

}  // namespace mosalith
