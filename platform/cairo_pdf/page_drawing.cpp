// Drawing a page picture with cairo.
#include "platform/cairo_pdf/page_drawing.h"

#include <cstdint>

namespace platform::page_drawing {

cairo_surface_t* SurfaceFromBitmap(const imaging::Bitmap& bitmap) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, bitmap.width_px, bitmap.height_px);
  if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) {
    cairo_surface_destroy(surface);
    return nullptr;
  }
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < bitmap.height_px; ++y) {
    auto* row = reinterpret_cast<uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < bitmap.width_px; ++x) {
      const uint8_t* p = bitmap.pixel(x, y);
      const uint32_t a = p[3];
      const uint32_t r = (p[0] * a + 127) / 255;
      const uint32_t g = (p[1] * a + 127) / 255;
      const uint32_t b = (p[2] * a + 127) / 255;
      row[x] = (a << 24) | (r << 16) | (g << 8) | b;
    }
  }
  cairo_surface_mark_dirty(surface);
  return surface;
}

bool PaintPlaced(cairo_t* cr, cairo_surface_t* image, const PagePicture& picture, const RectF& dest, double origin_x,
                 double origin_y) {
  cairo_save(cr);
  cairo_translate(cr, origin_x + dest.x, origin_y + dest.y);
  // Upright by its orientation and turned, as a transform of the stored pixels (no pixel work).
  const PictureTransform placed = PlacedPictureTransform(picture);
  cairo_scale(cr, dest.width / placed.shown_width, dest.height / placed.shown_height);
  cairo_matrix_t stored_to_placed;
  cairo_matrix_init(&stored_to_placed, placed.xx, placed.yx, placed.xy, placed.yy, placed.x0, placed.y0);
  cairo_transform(cr, &stored_to_placed);
  cairo_set_source_surface(cr, image, 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_GOOD);
  cairo_rectangle(cr, 0, 0, picture.width_px, picture.height_px);
  cairo_fill(cr);
  cairo_restore(cr);
  return cairo_status(cr) == CAIRO_STATUS_SUCCESS;
}

}  // namespace platform::page_drawing
