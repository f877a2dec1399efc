// Drawing a page picture with cairo, shared by the PDF pages and the raster pages: the picture as a cairo
// surface, and its placement (orientation, quarter turn, scale into its rectangle). Internal to
// platform/cairo_pdf/.
// Thread safety: the functions keep no state; a cairo context is used by one thread at a time.
#pragma once

#include <cairo.h>

#include "platform/print_device.h"

namespace platform::page_drawing {

// A cairo image surface of `bitmap` (premultiplied ARGB32 in native order); null on failure. The caller
// destroys it.
cairo_surface_t* SurfaceFromBitmap(const imaging::Bitmap& bitmap);

// Paints `image` (the stored picture, picture.width_px x picture.height_px) into `dest`, whose origin is
// (origin_x, origin_y) in the current user space of `cr`: upright by its orientation, turned, scaled.
// The context's state is restored afterwards. False when cairo fails.
bool PaintPlaced(cairo_t* cr, cairo_surface_t* image, const PagePicture& picture, const RectF& dest, double origin_x,
                 double origin_y);

}  // namespace platform::page_drawing
