// CairoCanvas: the Canvas of CairoGraphics, over a cairo image surface. Internal to the adapter.
#pragma once

#include <memory>

#include "platform/graphics.h"

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

namespace platform {

class CairoCanvas : public Canvas {
 public:
  // Null, with `*status`, for a size outside the limits (or beyond the whole of `budget`) or when the
  // memory cannot be had. The canvas's pixels, the surfaces drawing makes and its snapshots take their
  // memory from `budget` (none: not counted).
  static std::unique_ptr<CairoCanvas> Create(int width_px, int height_px, GraphicsStatus* status,
                                             imaging::MemoryBudget* budget = nullptr);
  ~CairoCanvas() override;
  CairoCanvas(const CairoCanvas&) = delete;
  CairoCanvas& operator=(const CairoCanvas&) = delete;

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
  CairoCanvas(cairo_surface_t* surface, cairo_t* cr, int width, int height, imaging::MemoryHold hold, imaging::MemoryBudget* budget)
      : surface_(surface), cr_(cr), width_(width), height_(height), hold_(std::move(hold)), budget_(budget) {}
  cairo_surface_t* surface_;
  cairo_t* cr_;
  int width_;
  int height_;
  imaging::MemoryHold hold_;  // the surface's share of the budget
  imaging::MemoryBudget* budget_;
};

}  // namespace platform
