// Bitmap: a picture in memory as the application's image code passes it around, and the exact pixel
// reorderings (quarter turns, mirrors, EXIF orientation) that need no resampling.
//
// Pixels are 8-bit R, G, B, A with straight (not premultiplied) alpha, rows top to bottom without gaps,
// origin at the top-left corner. Colours given as one number are 0xAARRGGBB.
// Limits shared by every image operation of the application: each side 1..kMaxSidePx and at most
// kMaxPixels pixels, checked before anything is allocated (a JPEG side reaches 65500: long panoramas load).
// Pixels are allocated through BudgetAllocator: a bitmap made from another (a turn, a copy) draws on the
// same memory budget as its source; MakeBitmap takes the budget to draw on (none: not counted).
// Thread safety: plain values; the functions are re-entrant.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/memory_budget.h"

namespace imaging {

inline constexpr int kMaxSidePx = 65535;
inline constexpr int64_t kMaxPixels = 260'000'000;

// Pixel bytes that take their size from a memory budget (or from none).
using PixelBytes = std::vector<uint8_t, BudgetAllocator<uint8_t>>;

struct Bitmap {
  int width_px = 0;
  int height_px = 0;
  PixelBytes rgba;  // width_px * height_px * 4 bytes

  bool empty() const { return width_px <= 0 || height_px <= 0; }
  size_t row_bytes() const { return static_cast<size_t>(width_px) * 4; }
  uint8_t* row(int y) { return pixel(0, y); }
  const uint8_t* row(int y) const { return pixel(0, y); }
  // The budget the pixels were taken from (none: not counted); a picture made from this one takes its
  // pixels from the same budget.
  MemoryBudget* budget() const { return rgba.get_allocator().budget(); }
  uint8_t* pixel(int x, int y) { return rgba.data() + (static_cast<size_t>(y) * width_px + x) * 4; }
  const uint8_t* pixel(int x, int y) const { return rgba.data() + (static_cast<size_t>(y) * width_px + x) * 4; }
};

// True when a width_px x height_px picture is within the limits above.
bool SizeWithinLimits(int64_t width_px, int64_t height_px);

// Drawing surfaces (canvases, pages) are smaller: sides 1..kMaxCanvasSidePx, what the drawing libraries
// of both platforms take.
inline constexpr int kMaxCanvasSidePx = 32767;
inline bool CanvasSizeWithinLimits(int64_t width_px, int64_t height_px) {
  return SizeWithinLimits(width_px, height_px) && width_px <= kMaxCanvasSidePx && height_px <= kMaxCanvasSidePx;
}

// A width_px x height_px bitmap filled with `argb`, its pixels taken from `budget` (none: not counted);
// nothing when the size is outside the limits or the memory cannot be had (the budget refused it).
std::optional<Bitmap> MakeBitmap(int width_px, int height_px, uint32_t argb = 0x00000000,
                                 MemoryBudget* budget = nullptr);

// Quarter turns and mirrors. The turns exchange width and height. Exact: every pixel moves unchanged.
// The result's pixels come from the source's budget; std::bad_alloc when they cannot be had.
// Clockwise: the pixel at column x, row y goes to column height-1-y, row x.
Bitmap RotateClockwise(const Bitmap& image);
Bitmap RotateCounterClockwise(const Bitmap& image);
Bitmap Rotate180(const Bitmap& image);
Bitmap MirrorRows(const Bitmap& image);  // left-right

// Which EXIF orientation values a caller honours.
enum class OrientationSet {
  kTurnsOnly,  // 3, 6 and 8; the mirrored values 2, 4, 5 and 7 leave the picture as stored
  kAll,        // all of 2 to 8
};

// The picture as it should be seen, for a stored picture whose file says `orientation` (1..8; any other
// value, and 1, leave it unchanged).
Bitmap ApplyOrientation(Bitmap image, int orientation, OrientationSet honoured);

// True when `orientation` exchanges width and height when applied (5, 6, 7 and 8).
inline bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

}  // namespace imaging
