// The canvas of CairoGraphics: a cairo image surface (premultiplied ARGB32), drawn with cairo.
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>

#include "platform/cairo/cairo_canvas.h"

namespace platform {
namespace {

class SurfaceHolder {
 public:
  explicit SurfaceHolder(cairo_surface_t* surface) : surface_(surface) {}
  ~SurfaceHolder() {
    if (surface_) cairo_surface_destroy(surface_);
  }
  SurfaceHolder(const SurfaceHolder&) = delete;
  SurfaceHolder& operator=(const SurfaceHolder&) = delete;
  cairo_surface_t* get() const { return surface_; }

 private:
  cairo_surface_t* surface_;
};

class PatternHolder {
 public:
  explicit PatternHolder(cairo_pattern_t* pattern) : pattern_(pattern) {}
  ~PatternHolder() {
    if (pattern_) cairo_pattern_destroy(pattern_);
  }
  PatternHolder(const PatternHolder&) = delete;
  PatternHolder& operator=(const PatternHolder&) = delete;
  cairo_pattern_t* get() const { return pattern_; }

 private:
  cairo_pattern_t* pattern_;
};

void SetColour(cairo_t* cr, uint32_t argb) {
  cairo_set_source_rgba(cr, ((argb >> 16) & 0xFF) / 255.0, ((argb >> 8) & 0xFF) / 255.0, (argb & 0xFF) / 255.0,
                        ((argb >> 24) & 0xFF) / 255.0);
}

// cairo keeps ARGB32 premultiplied in native byte order (B, G, R, A in memory on little-endian machines).
inline uint32_t Premultiplied(const uint8_t* rgba) {
  const uint32_t a = rgba[3];
  if (a == 255) return 0xFF000000u | (uint32_t{rgba[0]} << 16) | (uint32_t{rgba[1]} << 8) | rgba[2];
  if (a == 0) return 0;
  auto mul = [a](uint32_t c) { return (c * a + 127) / 255; };
  return (a << 24) | (mul(rgba[0]) << 16) | (mul(rgba[1]) << 8) | mul(rgba[2]);
}

// The pixels x0..x1 x y0..y1 of `image` as a new cairo surface; null when it cannot be made.
cairo_surface_t* SurfaceFromBitmap(const imaging::Bitmap& image, int x0, int y0, int x1, int y1) {
  const int w = x1 - x0, h = y1 - y0;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  uint8_t* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    const uint8_t* src = image.pixel(x0, y0 + y);
    for (int x = 0; x < w; ++x, src += 4) row[x] = Premultiplied(src);
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

cairo_filter_t CairoFilter(Filter filter, double scale_x, double scale_y) {
  switch (filter) {
    case Filter::kNearest: return CAIRO_FILTER_NEAREST;
    case Filter::kBilinear: return CAIRO_FILTER_BILINEAR;
    case Filter::kBicubic:
      // cairo's best filter is a sharp cubic up to about twice the size; beyond that its pixels turn into
      // visible squares, where bilinear gives the smooth ramp a bicubic enlargement is expected to give.
      return scale_x > 2.0 || scale_y > 2.0 ? CAIRO_FILTER_GOOD : CAIRO_FILTER_BEST;
    case Filter::kArea:
      // Reductions are done before cairo sees the picture (PreparePart); what is left is close to 1:1 or
      // an enlargement, which is bilinear.
      return CAIRO_FILTER_GOOD;
  }
  return CAIRO_FILTER_GOOD;
}

GraphicsStatus StatusOf(cairo_t* cr) {
  switch (cairo_status(cr)) {
    case CAIRO_STATUS_SUCCESS: return GraphicsStatus::kOk;
    case CAIRO_STATUS_NO_MEMORY: return GraphicsStatus::kOutOfMemory;
    case CAIRO_STATUS_INVALID_MATRIX:
    case CAIRO_STATUS_INVALID_SIZE: return GraphicsStatus::kInvalidArgument;
    default: return GraphicsStatus::kFailed;
  }
}

}  // namespace

std::unique_ptr<CairoCanvas> CairoCanvas::Create(int width_px, int height_px, GraphicsStatus* status,
                                                 imaging::MemoryBudget* budget) {
  auto fail = [status](GraphicsStatus why) {
    if (status) *status = why;
    return nullptr;
  };
  if (!imaging::CanvasSizeWithinLimits(width_px, height_px)) return fail(GraphicsStatus::kInvalidArgument);
  const uint64_t bytes = static_cast<uint64_t>(width_px) * height_px * 4;
  if (budget != nullptr && !budget->CanEverTake(bytes)) return fail(GraphicsStatus::kInvalidArgument);
  std::optional<imaging::MemoryHold> hold = imaging::MemoryHold::Take(budget, bytes);
  if (!hold) return fail(GraphicsStatus::kOutOfMemory);
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width_px, height_px);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return fail(GraphicsStatus::kOutOfMemory);
  }
  cairo_t* cr = cairo_create(surface);
  if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return fail(GraphicsStatus::kOutOfMemory);
  }
  if (status) *status = GraphicsStatus::kOk;
  return std::unique_ptr<CairoCanvas>(new CairoCanvas(surface, cr, width_px, height_px, std::move(*hold), budget));
}

CairoCanvas::~CairoCanvas() {
  cairo_destroy(cr_);
  cairo_surface_destroy(surface_);
}

void CairoCanvas::Clear(uint32_t argb) {
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_SOURCE);
  SetColour(cr_, argb);
  cairo_paint(cr_);
  cairo_restore(cr_);
}

GraphicsStatus CairoCanvas::DrawBitmap(const imaging::Bitmap& image, const RectF& dest, Filter filter, Blend blend) {
  return DrawBitmapPart(image, RectF{0, 0, static_cast<double>(image.width_px), static_cast<double>(image.height_px)},
                        dest, filter, blend);
}

GraphicsStatus CairoCanvas::DrawBitmapPart(const imaging::Bitmap& image, const RectF& source, const RectF& dest, Filter filter,
                                           Blend blend) {
  PixelSpan span;
  const GraphicsStatus checked = BitmapPartPixels(image, source, dest, &span);
  if (checked != GraphicsStatus::kOk || span.empty()) return checked;
  // Only the pixels of the part are converted for cairo, so the filter never reaches pixels outside it
  // (padding repeats the part's own edge instead).
  const int x0 = span.x0, y0 = span.y0;
  double sx = source.width / dest.width, sy = source.height / dest.height;
  // The part's pixel (px, py) for canvas point (x, y): px = sx * x + ox, py = sy * y + oy.
  double ox = source.x - x0 - dest.x * sx, oy = source.y - y0 - dest.y * sy;
  PreparedPart prepared;
  if (PreparePart(image, span, sx, sy, filter, &prepared) != GraphicsStatus::kOk) return GraphicsStatus::kOutOfMemory;
  const imaging::Bitmap& pixels = prepared.reduced ? *prepared.reduced : image;
  PixelSpan drawn = span;
  if (prepared.reduced) {
    sx /= prepared.factor_x, ox /= prepared.factor_x;
    sy /= prepared.factor_y, oy /= prepared.factor_y;
    drawn = PixelSpan{0, 0, pixels.width_px, pixels.height_px};
  }
  // The converted pixels are a second copy of the part for as long as it is drawn.
  const uint64_t part_bytes = static_cast<uint64_t>(drawn.x1 - drawn.x0) * static_cast<uint64_t>(drawn.y1 - drawn.y0) * 4;
  std::optional<imaging::MemoryHold> part_hold = imaging::MemoryHold::Take(budget_, part_bytes);
  if (!part_hold) return GraphicsStatus::kOutOfMemory;
  cairo_surface_t* converted = SurfaceFromBitmap(pixels, drawn.x0, drawn.y0, drawn.x1, drawn.y1);
  SurfaceHolder part(converted);
  if (!part.get()) return GraphicsStatus::kOutOfMemory;
  PatternHolder pattern(cairo_pattern_create_for_surface(part.get()));
  cairo_matrix_t matrix;
  // The pattern matrix maps canvas coordinates to the converted part's pixels.
  cairo_matrix_init(&matrix, sx, 0, 0, sy, ox, oy);
  cairo_pattern_set_matrix(pattern.get(), &matrix);
  cairo_pattern_set_filter(pattern.get(), CairoFilter(prepared.filter, 1 / sx, 1 / sy));
  // Padding repeats the edge pixels instead of blending in transparent black; the clip keeps the
  // drawing inside the destination rectangle.
  cairo_pattern_set_extend(pattern.get(), CAIRO_EXTEND_PAD);
  cairo_save(cr_);
  cairo_rectangle(cr_, dest.x, dest.y, dest.width, dest.height);
  cairo_clip(cr_);
  cairo_set_operator(cr_, blend == Blend::kSourceCopy ? CAIRO_OPERATOR_SOURCE : CAIRO_OPERATOR_OVER);
  cairo_set_source(cr_, pattern.get());
  cairo_paint(cr_);
  const GraphicsStatus status = StatusOf(cr_);
  cairo_restore(cr_);
  return status;
}

GraphicsStatus CairoCanvas::StrokeRect(const RectF& rect, double pen_width_px, uint32_t argb) {
  if (!Finite(rect) || !std::isfinite(pen_width_px)) return GraphicsStatus::kInvalidArgument;
  if (pen_width_px <= 0) return GraphicsStatus::kOk;
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  SetColour(cr_, argb);
  cairo_set_line_width(cr_, pen_width_px);
  cairo_set_line_join(cr_, CAIRO_LINE_JOIN_MITER);
  cairo_rectangle(cr_, rect.x, rect.y, rect.width, rect.height);
  cairo_stroke(cr_);
  const GraphicsStatus status = StatusOf(cr_);
  cairo_restore(cr_);
  return status;
}

GraphicsStatus CairoCanvas::FillRect(const RectF& rect, uint32_t argb) {
  if (!Finite(rect)) return GraphicsStatus::kInvalidArgument;
  if (rect.width <= 0 || rect.height <= 0) return GraphicsStatus::kOk;
  cairo_save(cr_);
  cairo_set_operator(cr_, CAIRO_OPERATOR_OVER);
  SetColour(cr_, argb);
  cairo_rectangle(cr_, rect.x, rect.y, rect.width, rect.height);
  cairo_fill(cr_);
  const GraphicsStatus status = StatusOf(cr_);
  cairo_restore(cr_);
  return status;
}

std::optional<imaging::Bitmap> CairoCanvas::Snapshot() const {
  auto image = imaging::MakeBitmap(width_, height_, 0, budget_);
  if (!image) return std::nullopt;
  cairo_surface_flush(surface_);
  const uint8_t* data = cairo_image_surface_get_data(surface_);
  const int stride = cairo_image_surface_get_stride(surface_);
  for (int y = 0; y < height_; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    uint8_t* out = image->pixel(0, y);
    for (int x = 0; x < width_; ++x, out += 4) {
      const uint32_t p = row[x];
      const uint32_t a = p >> 24;
      uint32_t r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      if (a != 255 && a != 0) {
        r = (r * 255 + a / 2) / a;
        g = (g * 255 + a / 2) / a;
        b = (b * 255 + a / 2) / a;
      }
      out[0] = static_cast<uint8_t>(std::min(r, 255u));
      out[1] = static_cast<uint8_t>(std::min(g, 255u));
      out[2] = static_cast<uint8_t>(std::min(b, 255u));
      out[3] = static_cast<uint8_t>(a);
    }
  }
  return image;
}

}  // namespace platform
