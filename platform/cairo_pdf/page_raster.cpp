// PageRaster: cairo drawing over the page's own pixels.
#include "platform/cairo_pdf/page_raster.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <optional>
#include <utility>

#include "platform/cairo_pdf/page_drawing.h"

namespace platform {

// cairo draws straight into the page bitmap's bytes as RGB24 (native-order xRGB, 4 bytes a pixel); Page()
// reorders them in place to RGBA once drawing is over, and a new page starts from white, which reads the
// same either way.
struct PageRaster::State {
  imaging::Bitmap page;
  DeviceGeometry geometry;
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  bool as_rgba = false;  // the bytes are in RGBA order (Page() was called since the last picture)
  ~State() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
  }
};

PageRaster::PageRaster(std::unique_ptr<State> state) : state_(std::move(state)) {}

PageRaster::~PageRaster() = default;

std::unique_ptr<PageRaster> PageRaster::Create(const DeviceGeometry& geometry, imaging::MemoryBudget* budget) {
  const int w = geometry.physical_width_px;
  const int h = geometry.physical_height_px;
  if (cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, w) != w * 4) return nullptr;
  std::optional<imaging::Bitmap> page;
  try {
    page = imaging::MakeBitmap(w, h, 0xFFFFFFFF, budget);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  if (!page) return nullptr;
  auto state = std::make_unique<State>();
  state->page = std::move(*page);
  state->geometry = geometry;
  state->surface = cairo_image_surface_create_for_data(state->page.rgba.data(), CAIRO_FORMAT_RGB24, w, h, w * 4);
  if (cairo_surface_status(state->surface) != CAIRO_STATUS_SUCCESS) return nullptr;
  state->cr = cairo_create(state->surface);
  if (cairo_status(state->cr) != CAIRO_STATUS_SUCCESS) return nullptr;
  return std::unique_ptr<PageRaster>(new PageRaster(std::move(state)));
}

DrawResult PageRaster::DrawPicture(const PagePicture& picture, const RectF& dest) {
  State& s = *state_;
  if (picture.bitmap == nullptr) return DrawResult::kNeedsPixels;
  if (picture.width_px <= 0 || picture.height_px <= 0 || picture.bitmap->width_px != picture.width_px ||
      picture.bitmap->height_px != picture.height_px || !(dest.width > 0) || !(dest.height > 0) ||
      !std::isfinite(dest.x) || !std::isfinite(dest.y)) {
    return DrawResult::kFailed;
  }
  if (s.as_rgba) {  // a new page
    std::fill(s.page.rgba.begin(), s.page.rgba.end(), uint8_t{0xFF});
    cairo_surface_mark_dirty(s.surface);
    s.as_rgba = false;
  }
  // The picture's cairo copy is a second copy of its pixels while it is drawn.
  std::optional<imaging::MemoryHold> hold = imaging::MemoryHold::Take(picture.bitmap->rgba.get_allocator().budget(),
                                                    static_cast<uint64_t>(picture.width_px) * picture.height_px * 4);
  if (!hold) return DrawResult::kFailed;
  cairo_surface_t* image = page_drawing::SurfaceFromBitmap(*picture.bitmap);
  if (image == nullptr) return DrawResult::kFailed;
  // White behind the picture's transparent pixels: the paper already is.
  const bool painted =
      page_drawing::PaintPlaced(s.cr, image, picture, dest, s.geometry.offset_x_px, s.geometry.offset_y_px);
  cairo_surface_destroy(image);
  return painted ? DrawResult::kDrawn : DrawResult::kFailed;
}

const imaging::Bitmap* PageRaster::Page() {
  State& s = *state_;
  if (cairo_status(s.cr) != CAIRO_STATUS_SUCCESS) return nullptr;
  if (!s.as_rgba) {
    cairo_surface_flush(s.surface);
    uint8_t* p = s.page.rgba.data();
    const size_t pixels = static_cast<size_t>(s.page.width_px) * s.page.height_px;
    for (size_t i = 0; i < pixels; ++i, p += 4) {
      uint32_t xrgb;
      std::memcpy(&xrgb, p, 4);
      p[0] = static_cast<uint8_t>(xrgb >> 16);
      p[1] = static_cast<uint8_t>(xrgb >> 8);
      p[2] = static_cast<uint8_t>(xrgb);
      p[3] = 0xFF;
    }
    s.as_rgba = true;
  }
  return &s.page;
}

}  // namespace platform
