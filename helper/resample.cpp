// Resampling through stb_image_resize: RGBA, alpha-weighted, clamped edges, default filter.
#include "helper/resample.h"

#include <utility>

#include <stb/stb_image_resize.h>

namespace mosalith {

bool ResizeRgba(ImageBuffer& image, int32_t width_px, int32_t height_px) {
  if (image.empty() || width_px < 1 || height_px < 1) return false;
  if (width_px == image.width() && height_px == image.height()) return true;
  std::optional<ImageBuffer> resized = ImageBuffer::Allocate(width_px, height_px);
  if (!resized) return false;
  // Alpha channel index 3 with flags 0: the resampler premultiplies internally, so transparent pixels
  // do not bleed their colour into their neighbours (frames have soft transparent edges).
  const int ok = stbir_resize_uint8_generic(
      image.data(), image.width(), image.height(), static_cast<int>(image.stride_bytes()),
      resized->data(), width_px, height_px, static_cast<int>(resized->stride_bytes()),
      4, 3, 0, STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR, nullptr);
  if (!ok) return false;
  image = std::move(*resized);
  return true;
}

bool ResizeRgbaWindow(ImageBuffer& image, int32_t scaled_width_px, int32_t scaled_height_px, int32_t left_px,
                      int32_t top_px, int32_t window_width_px, int32_t window_height_px,
                      ImageBuffer* released) {
  if (image.empty() || scaled_width_px < 1 || scaled_height_px < 1 || window_width_px < 1 ||
      window_height_px < 1) {
    return false;
  }
  std::optional<ImageBuffer> resized = ImageBuffer::Allocate(window_width_px, window_height_px);
  if (!resized) return false;
  // The scale is formed as ResizeRgba's resampler forms it (output over input, in float), so a window
  // of the whole picture's size gives the very bytes of the whole resize.
  const float x_scale = static_cast<float>(scaled_width_px) / static_cast<float>(image.width());
  const float y_scale = static_cast<float>(scaled_height_px) / static_cast<float>(image.height());
  const int ok = stbir_resize_subpixel(
      image.data(), image.width(), image.height(), static_cast<int>(image.stride_bytes()), resized->data(),
      window_width_px, window_height_px, static_cast<int>(resized->stride_bytes()), STBIR_TYPE_UINT8, 4, 3, 0,
      STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT, STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR,
      nullptr, x_scale, y_scale, static_cast<float>(left_px), static_cast<float>(top_px));
  if (!ok) return false;
  std::swap(image, *resized);
  if (released != nullptr) *released = std::move(*resized);
  return true;
}

}  // namespace mosalith
