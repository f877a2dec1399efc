// ImageBuffer: allocation without exceptions.
#include "helper/image_buffer.h"

#include <cstring>
#include <limits>
#include <new>

namespace mosalith {

std::optional<ImageBuffer> ImageBuffer::Allocate(int32_t width_px, int32_t height_px) {
  if (width_px < 1 || height_px < 1) return std::nullopt;
  const size_t w = static_cast<size_t>(width_px);
  const size_t h = static_cast<size_t>(height_px);
  if (w > std::numeric_limits<size_t>::max() / 4 / h) return std::nullopt;
  std::unique_ptr<uint8_t[]> block(new (std::nothrow) uint8_t[w * h * 4]);
  if (!block) return std::nullopt;
  return Adopt(std::move(block), width_px, height_px);
}

std::optional<ImageBuffer> ImageBuffer::Filled(int32_t width_px, int32_t height_px, uint8_t value) {
  std::optional<ImageBuffer> image = Allocate(width_px, height_px);
  if (image) std::memset(image->data(), value, image->size_bytes());
  return image;
}

std::optional<ImageBuffer> ImageBuffer::Clone() const {
  if (empty()) return ImageBuffer();
  std::optional<ImageBuffer> copy = Allocate(width_, height_);
  if (copy) std::memcpy(copy->data(), data(), size_bytes());
  return copy;
}

ImageBuffer ImageBuffer::Adopt(std::unique_ptr<uint8_t[]> block, int32_t width_px, int32_t height_px) {
  ImageBuffer image;
  image.pixels_ = std::move(block);
  image.width_ = width_px;
  image.height_ = height_px;
  image.capacity_bytes_ = image.size_bytes();
  return image;
}

std::optional<ImageBuffer> ImageBuffer::Reuse(ImageBuffer&& spare, int32_t width_px, int32_t height_px) {
  ImageBuffer taken = std::move(spare);
  if (width_px < 1 || height_px < 1) return std::nullopt;
  const size_t w = static_cast<size_t>(width_px);
  const size_t h = static_cast<size_t>(height_px);
  if (w > std::numeric_limits<size_t>::max() / 4 / h) return std::nullopt;
  if (taken.pixels_ == nullptr || taken.capacity_bytes_ < w * h * 4) {
    taken = ImageBuffer();  // the old block goes before the new one is taken
    return Allocate(width_px, height_px);
  }
  taken.width_ = width_px;
  taken.height_ = height_px;
  return taken;
}

}  // namespace mosalith
