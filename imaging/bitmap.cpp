// Bitmap: limits, allocation and the exact reorderings.
#include "imaging/bitmap.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <new>
#include <utility>

namespace imaging {
namespace {

// Pixels move as whole 32-bit words; memcpy keeps that free of aliasing questions and compiles to one
// load and one store.
inline uint32_t LoadPixel(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void StorePixel(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Quarter turns walk the source in square tiles so that both the rows read and the rows written stay
// in cache; a plain row walk writes one pixel per cache line on large photos.
constexpr int kTurnTile = 64;

Bitmap SameShape(const Bitmap& image, bool swap_sides) {
  Bitmap out{0, 0, PixelBytes(image.rgba.get_allocator())};
  out.width_px = swap_sides ? image.height_px : image.width_px;
  out.height_px = swap_sides ? image.width_px : image.height_px;
  out.rgba.resize(image.rgba.size());
  return out;
}

// Clockwise: (x, y) goes to (h - 1 - y, x); counter-clockwise: (x, y) goes to (y, w - 1 - x). Within a
// source row the target steps by one whole target row per pixel, forwards or backwards.
Bitmap QuarterTurn(const Bitmap& image, bool clockwise) {
  Bitmap out = SameShape(image, true);
  const int w = image.width_px, h = image.height_px;
  const ptrdiff_t target_step = static_cast<ptrdiff_t>(h) * 4 * (clockwise ? 1 : -1);
  for (int ty = 0; ty < h; ty += kTurnTile) {
    const int y_end = std::min(h, ty + kTurnTile);
    for (int tx = 0; tx < w; tx += kTurnTile) {
      const int x_end = std::min(w, tx + kTurnTile);
      for (int y = ty; y < y_end; ++y) {
        const uint8_t* src = image.pixel(tx, y);
        uint8_t* dst = clockwise ? out.pixel(h - 1 - y, tx) : out.pixel(y, w - 1 - tx);
        for (int x = tx; x < x_end; ++x, src += 4, dst += target_step) StorePixel(dst, LoadPixel(src));
      }
    }
  }
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

Bitmap RotateClockwise(const Bitmap& image) { return QuarterTurn(image, true); }

Bitmap RotateCounterClockwise(const Bitmap& image) { return QuarterTurn(image, false); }

Bitmap Rotate180(const Bitmap& image) {
  Bitmap out = SameShape(image, false);
  const size_t count = static_cast<size_t>(image.width_px) * image.height_px;
  const uint8_t* from = image.rgba.data();
  uint8_t* to = out.rgba.data() + count * 4;
  for (size_t i = 0; i < count; ++i, from += 4) StorePixel(to -= 4, LoadPixel(from));
  return out;
}

Bitmap MirrorRows(const Bitmap& image) {
  Bitmap out = SameShape(image, false);
  const int w = image.width_px;
  for (int y = 0; y < image.height_px; ++y) {
    const uint8_t* from = image.pixel(0, y);
    uint8_t* to = out.pixel(w, y);
    for (int x = 0; x < w; ++x, from += 4) StorePixel(to -= 4, LoadPixel(from));
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

}  // namespace imaging
