// Bitmap: limits, allocation and the exact reorderings.
#include "platform/bitmap.h"

#include <cstring>
#include <new>
#include <utility>

namespace platform {
namespace {

// Copies the pixel at (x, y) of `from` to position `to_index` of `to`.
inline void CopyPixel(const Bitmap& from, int x, int y, Bitmap& to, size_t to_index) {
  std::memcpy(to.rgba.data() + to_index * 4, from.pixel(x, y), 4);
}

Bitmap SameShape(const Bitmap& image, bool swap_sides) {
  Bitmap out{0, 0, PixelBytes(image.rgba.get_allocator())};
  out.width_px = swap_sides ? image.height_px : image.width_px;
  out.height_px = swap_sides ? image.width_px : image.height_px;
  out.rgba.resize(image.rgba.size());
  return out;
}

}  // namespace

bool SizeWithinLimits(int64_t width_px, int64_t height_px) {
  return width_px >= 1 && height_px >= 1 && width_px <= kMaxSidePx && height_px <= kMaxSidePx &&
         width_px * height_px <= kMaxPixels;
}

std::optional<Bitmap> MakeBitmap(int width_px, int height_px, uint32_t argb, MemoryBudget* budget) {
  if (!SizeWithinLimits(width_px, height_px)) return std::nullopt;
  Bitmap image{0, 0, PixelBytes(BudgetAllocator<uint8_t>(budget))};
  try {
    image.rgba.resize(static_cast<size_t>(width_px) * height_px * 4);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  image.width_px = width_px;
  image.height_px = height_px;
  const uint8_t rgba[4] = {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8),
                           static_cast<uint8_t>(argb), static_cast<uint8_t>(argb >> 24)};
  if (argb != 0) {
    for (size_t i = 0; i < image.rgba.size(); i += 4) std::memcpy(image.rgba.data() + i, rgba, 4);
  }
  return image;
}

Bitmap RotateClockwise(const Bitmap& image) {
  Bitmap out = SameShape(image, true);
  const int w = image.width_px, h = image.height_px;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) CopyPixel(image, x, y, out, static_cast<size_t>(x) * h + (h - 1 - y));
  }
  return out;
}

Bitmap RotateCounterClockwise(const Bitmap& image) {
  Bitmap out = SameShape(image, true);
  const int w = image.width_px, h = image.height_px;
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) CopyPixel(image, x, y, out, static_cast<size_t>(w - 1 - x) * h + y);
  }
  return out;
}

Bitmap Rotate180(const Bitmap& image) {
  Bitmap out = SameShape(image, false);
  const size_t count = static_cast<size_t>(image.width_px) * image.height_px;
  for (size_t i = 0; i < count; ++i) std::memcpy(out.rgba.data() + (count - 1 - i) * 4, image.rgba.data() + i * 4, 4);
  return out;
}

Bitmap MirrorRows(const Bitmap& image) {
  Bitmap out = SameShape(image, false);
  const int w = image.width_px;
  for (int y = 0; y < image.height_px; ++y) {
    for (int x = 0; x < w; ++x) CopyPixel(image, x, y, out, static_cast<size_t>(y) * w + (w - 1 - x));
  }
  return out;
}

Bitmap ApplyOrientation(Bitmap image, int orientation, OrientationSet honoured) {
  const bool mirrored = orientation == 2 || orientation == 4 || orientation == 5 || orientation == 7;
  if (mirrored && honoured == OrientationSet::kTurnsOnly) return image;
  switch (orientation) {
    case 2: return MirrorRows(image);
    case 3: return Rotate180(image);
    case 4: return Rotate180(MirrorRows(image));       // top-bottom mirror
    case 5: return MirrorRows(RotateClockwise(image));  // transpose
    case 6: return RotateClockwise(image);
    case 7: return MirrorRows(RotateCounterClockwise(image));  // transverse
    case 8: return RotateCounterClockwise(image);
    default: return image;
  }
}

}  // namespace platform
