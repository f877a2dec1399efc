// Resampling RGBA pictures to a new size. Re-entrant: the resampler keeps no state between calls.
#pragma once

#include <cstdint>

#include "helper/image_buffer.h"

namespace mosalith {

// Resizes `image` in place to width_px x height_px: alpha-weighted (premultiplied) RGBA, linear
// 8-bit data, clamped edges, the library's default filter. Returns false and leaves the image unchanged
// when a size is below 1, memory runs out or the resampler fails.
bool ResizeRgba(ImageBuffer& image, int32_t width_px, int32_t height_px);

// Resamples `image` as if it were first resized to scaled_width_px x scaled_height_px and then the
// window_width_px x window_height_px rectangle at (left_px, top_px) of that result were kept, in one
// pass and without ever holding the scaled picture (which may be far larger than the window). Same
// filter, alpha weighting and edge rule as ResizeRgba. Returns false, image unchanged, when a size is
// below 1, memory runs out or the resampler fails. With `released`, the block `image` held before is
// moved there for reuse instead of being freed.
bool ResizeRgbaWindow(ImageBuffer& image, int32_t scaled_width_px, int32_t scaled_height_px, int32_t left_px,
                      int32_t top_px, int32_t window_width_px, int32_t window_height_px,
                      ImageBuffer* released = nullptr);

}  // namespace mosalith
