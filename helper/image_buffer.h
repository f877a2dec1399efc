// ImageBuffer: the helper's RGBA 8-bit pixel container.
//
// Layout, for every image in the helper: rows top to bottom, pixels left to right, bytes R, G, B, A per
// pixel, rows packed without gaps (stride = width * 4). Coordinates have their origin at the top-left
// pixel. The buffer owns its block. Allocation never throws: an operation that needs a new block and
// cannot get one leaves the buffer it was working on unchanged and reports false or nothing.
//
// Thread safety: none of its own; one thread owns a buffer at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

namespace mosalith {

class ImageBuffer {
 public:
  ImageBuffer() = default;
  ImageBuffer(ImageBuffer&& other) noexcept { *this = std::move(other); }
  ImageBuffer& operator=(ImageBuffer&& other) noexcept {
    pixels_ = std::move(other.pixels_);
    width_ = std::exchange(other.width_, 0);
    height_ = std::exchange(other.height_, 0);
    capacity_bytes_ = std::exchange(other.capacity_bytes_, 0);
    return *this;
  }
  ImageBuffer(const ImageBuffer&) = delete;
  ImageBuffer& operator=(const ImageBuffer&) = delete;

  // A width_px x height_px buffer with unspecified contents, or nothing when either side is below 1,
  // the byte count overflows, or the block cannot be allocated.
  static std::optional<ImageBuffer> Allocate(int32_t width_px, int32_t height_px);
  // As Allocate, with every byte set to `value` (255 gives opaque white).
  static std::optional<ImageBuffer> Filled(int32_t width_px, int32_t height_px, uint8_t value);
  // A deep copy, or nothing when the block cannot be allocated.
  std::optional<ImageBuffer> Clone() const;

  int32_t width() const { return width_; }
  int32_t height() const { return height_; }
  bool empty() const { return pixels_ == nullptr; }
  size_t stride_bytes() const { return static_cast<size_t>(width_) * 4; }
  size_t size_bytes() const { return stride_bytes() * static_cast<size_t>(height_); }

  uint8_t* data() { return pixels_.get(); }
  const uint8_t* data() const { return pixels_.get(); }
  uint8_t* row(int32_t y) { return pixels_.get() + stride_bytes() * static_cast<size_t>(y); }
  const uint8_t* row(int32_t y) const { return pixels_.get() + stride_bytes() * static_cast<size_t>(y); }
  // The 4 bytes of pixel (x, y); no bounds check.
  uint8_t* pixel(int32_t x, int32_t y) { return row(y) + static_cast<size_t>(x) * 4; }
  const uint8_t* pixel(int32_t x, int32_t y) const { return row(y) + static_cast<size_t>(x) * 4; }

  // Takes ownership of a block of width_px * height_px * 4 bytes allocated with new[].
  static ImageBuffer Adopt(std::unique_ptr<uint8_t[]> block, int32_t width_px, int32_t height_px);

  // As Allocate, but keeps `spare`'s block when it holds at least width_px x height_px pixels (a worker
  // reuses one block from photo to photo); otherwise `spare` is released first and a new block taken.
  static std::optional<ImageBuffer> Reuse(ImageBuffer&& spare, int32_t width_px, int32_t height_px);
  // Bytes the block holds; at least size_bytes().
  size_t capacity_bytes() const { return capacity_bytes_; }

 private:
  std::unique_ptr<uint8_t[]> pixels_;
  int32_t width_ = 0;
  int32_t height_ = 0;
  size_t capacity_bytes_ = 0;
};

}  // namespace mosalith
