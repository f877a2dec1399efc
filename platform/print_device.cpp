// The placement of a page picture: its orientation and quarter turn as one affine map.
#include "platform/print_device.h"

namespace platform {

PictureTransform PlacedPictureTransform(const PagePicture& picture) {
  const double w = picture.width_px;
  const double h = picture.height_px;
  // The EXIF orientation: stored (x, y) to upright, as ApplyOrientation moves the pixels.
  PictureTransform t;
  t.shown_width = w;
  t.shown_height = h;
  switch (picture.orientation) {
    case 2: t = {-1, 0, w, 0, 1, 0, w, h}; break;   // (w - x, y)
    case 3: t = {-1, 0, w, 0, -1, h, w, h}; break;  // (w - x, h - y)
    case 4: t = {1, 0, 0, 0, -1, h, w, h}; break;   // (x, h - y)
    case 5: t = {0, 1, 0, 1, 0, 0, h, w}; break;    // (y, x)
    case 6: t = {0, -1, h, 1, 0, 0, h, w}; break;   // (h - y, x)
    case 7: t = {0, -1, h, -1, 0, w, h, w}; break;  // (h - y, w - x)
    case 8: t = {0, 1, 0, -1, 0, w, h, w}; break;   // (y, w - x)
    default: break;
  }
  if (!picture.turn_clockwise) return t;
  // Then a quarter turn clockwise of the upright picture: (x, y) to (shown_height - y, x).
  const double b = t.shown_height;
  return PictureTransform{-t.yx, -t.yy, b - t.y0, t.xx, t.xy, t.x0, t.shown_height, t.shown_width};
}

}  // namespace platform
