// GdiplusCanvas: the Canvas of the Windows Graphics adapter, over a GDI+ bitmap (premultiplied 32-bit
// ARGB) drawn with GDI+. Internal to the adapter; GDI+ must be running while a canvas lives.
#pragma once

#include <memory>

#include "platform/graphics.h"

namespace Gdiplus {
class Bitmap;
class Graphics;
}  // namespace Gdiplus

namespace platform {

class GdiplusCanvas : public Canvas {
 public:
  // Null, with `*status`, for a size outside the limits (or beyond the whole of `budget`) or when the
  // memory cannot be had. The canvas's pixels, the copies drawing makes and its snapshots take their
  // memory from `budget` (none: not counted).
  static std::unique_ptr<GdiplusCanvas> Create(int width_px, int height_px, GraphicsStatus* status,
                                               imaging::MemoryBudget* budget = nullptr);
  ~GdiplusCanvas() override;
  GdiplusCanvas(const GdiplusCanvas&) = delete;
  GdiplusCanvas& operator=(const GdiplusCanvas&) = delete;

  int width_px() const override { return width_; }
  int height_px() const override { return height_; }
  void Clear(uint32_t argb) override;
  GraphicsStatus DrawBitmap(const imaging::Bitmap& image, const RectF& dest, Filter filter, Blend blend) override;
  GraphicsStatus DrawBitmapPart(const imaging::Bitmap& image, const RectF& source, const RectF& dest, Filter filter,
                                Blend blend) override;
  GraphicsStatus StrokeRect(const RectF& rect, double pen_width_px, uint32_t argb) override;
  GraphicsStatus FillRect(const RectF& rect, uint32_t argb) override;
  std::optional<imaging::Bitmap> Snapshot() const override;

 private:
  GdiplusCanvas(std::unique_ptr<Gdiplus::Bitmap> bitmap, std::unique_ptr<Gdiplus::Graphics> graphics, int width,
                int height, imaging::MemoryHold hold, imaging::MemoryBudget* budget);
  std::unique_ptr<Gdiplus::Bitmap> bitmap_;
  std::unique_ptr<Gdiplus::Graphics> graphics_;  // drawing on bitmap_; destroyed first
  int width_;
  int height_;
  imaging::MemoryHold hold_;  // the bitmap's share of the budget
  imaging::MemoryBudget* budget_;
};

}  // namespace platform
