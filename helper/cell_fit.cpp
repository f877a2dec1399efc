// The cell fit: cover scale, centre crop, and the user's zoom and pan resampled bilinearly.
#include "helper/cell_fit.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <locale>
#include <sstream>

#include "helper/crop_focus.h"
#include "helper/log.h"
#include "imaging/reduce.h"

namespace mosalith {

std::optional<CoverSize> CoverSizeOf(int32_t width_px, int32_t height_px, int32_t magnet_width_px,
                                     int32_t magnet_height_px) {
  if (width_px < 1 || height_px < 1 || magnet_width_px < 1 || magnet_height_px < 1) return std::nullopt;
  const double w = width_px;
  const double h = height_px;
  const double s = std::max(magnet_height_px / h, magnet_width_px / w);
  const double new_width = s * w;
  const double new_height = s * h;
  constexpr double kLargestSide = double{1 << 30};
  if (new_width > kLargestSide || new_height > kLargestSide) return std::nullopt;
  // Mathematically both sides are at least the magnet's; the max() only undoes a rounding error in
  // s * w that would truncate to one pixel short and leave a white line along the magnet.
  return CoverSize{std::max(static_cast<int32_t>(new_width), magnet_width_px),
                   std::max(static_cast<int32_t>(new_height), magnet_height_px)};
}

namespace {

// Resizes `pixels` (showing a full_width x full_height picture) to the full picture's cover size.
void CoverScaleFull(imaging::Bitmap& pixels, int32_t full_width_px, int32_t full_height_px, int32_t magnet_width_px,
                    int32_t magnet_height_px) {
  if (pixels.empty()) return;
  const std::optional<CoverSize> cover =
      CoverSizeOf(full_width_px, full_height_px, magnet_width_px, magnet_height_px);
  // A sliver of a photo (say 1 x 10000 px) would cover the magnet only as a picture of billions of
  // pixels; such a scale is refused like any other allocation that cannot be had.
  if (!cover || !imaging::SizeWithinLimits(cover->width_px, cover->height_px)) return;
  std::optional<imaging::Bitmap> scaled = imaging::ReduceBitmap(pixels, cover->width_px, cover->height_px);
  if (scaled) pixels = std::move(*scaled);
}

}  // namespace

void CoverScale(imaging::Bitmap& photo, int32_t magnet_width_px, int32_t magnet_height_px) {
  CoverScaleFull(photo, photo.width_px, photo.height_px, magnet_width_px, magnet_height_px);
}

std::optional<CoverWindow> CoverWindowOf(int32_t full_width_px, int32_t full_height_px, int32_t magnet_width_px,
                                         int32_t magnet_height_px, const CropFocus* focus) {
  const std::optional<CoverSize> cover = CoverSizeOf(full_width_px, full_height_px, magnet_width_px, magnet_height_px);
  if (!cover) return std::nullopt;
  // The crop's offsets, in the cover-scaled picture: centred unless faces move them.
  CoverWindow window{*cover, (cover->width_px - magnet_width_px) / 2, (cover->height_px - magnet_height_px) / 2};
  if (focus != nullptr && focus->faces != nullptr && !focus->faces->empty()) {
    const CropWindow placed = CropWindowFor(cover->width_px, cover->height_px, magnet_width_px, magnet_height_px,
                                            focus->inset_px, *focus->faces, focus->turned);
    window.left_px = placed.left_px;
    window.top_px = placed.top_px;
  }
  return window;
}

bool CoverCrop(imaging::Bitmap& pixels, int32_t full_width_px, int32_t full_height_px, int32_t magnet_width_px,
               int32_t magnet_height_px, const CropFocus* focus) {
  if (pixels.empty()) return false;
  const std::optional<CoverWindow> window =
      CoverWindowOf(full_width_px, full_height_px, magnet_width_px, magnet_height_px, focus);
  if (!window) return false;
  std::optional<imaging::Bitmap> fitted =
      imaging::ReduceBitmapWindow(pixels, window->cover.width_px, window->cover.height_px,
                                  imaging::PixelRect{window->left_px, window->top_px, magnet_width_px, magnet_height_px});
  if (!fitted) return false;
  pixels = std::move(*fitted);
  return true;
}

void CenterCrop(imaging::Bitmap& photo, int32_t magnet_width_px, int32_t magnet_height_px) {
  if (photo.empty() || magnet_width_px < 1 || magnet_height_px < 1) return;
  const int32_t w = photo.width_px;
  const int32_t h = photo.height_px;
  const int32_t crop_width = std::min(w, magnet_width_px);
  const int32_t crop_height = std::min(h, magnet_height_px);
  if (crop_width == w && crop_height == h) return;
  const int32_t left = std::max(0, (w - magnet_width_px) / 2);
  const int32_t top = std::max(0, (h - magnet_height_px) / 2);
  std::optional<imaging::Bitmap> cropped = imaging::MakeBitmap(crop_width, crop_height, 0, photo.budget());
  if (!cropped) return;
  for (int32_t y = 0; y < crop_height; ++y) {
    std::memcpy(cropped->row(y), photo.pixel(left, top + y), cropped->row_bytes());
  }
  photo = std::move(*cropped);
}

bool UserTransform(imaging::Bitmap& photo, const EffectRecord& effects, int32_t magnet_width_px,
                   int32_t magnet_height_px, bool was_rotated) {
  if (photo.empty() || magnet_width_px < 1 || magnet_height_px < 1) return false;
  if (!(effects.viewportWidth > 0.0f) || !(effects.viewportHeight > 0.0f)) return false;

  // The viewport is the editor's view of the upright photo; a photo turned to the magnet turns it too.
  const float vw = was_rotated ? effects.viewportHeight : effects.viewportWidth;
  const float vh = was_rotated ? effects.viewportWidth : effects.viewportHeight;
  const int32_t w = photo.width_px;
  const int32_t h = photo.height_px;
  const float wf = static_cast<float>(w);
  const float hf = static_cast<float>(h);
  const float ratio = std::min(wf / vw, hf / vh);  // photo pixels per viewport unit
  const float ax = ratio * effects.offsetX;
  const float ay = ratio * effects.offsetY;
  const float cx = wf * 0.5f + ax;
  const float cy = hf * 0.5f + ay;

  std::ostringstream line;
  line.imbue(std::locale::classic());
  line << "Mosalith TRANSFORM DEBUG:" << " imgSize=" << w << "x" << h << " cellSize=" << magnet_width_px
       << "x" << magnet_height_px << " vpSize=" << vw << "x" << vh << " eff.offset=(" << effects.offsetX
       << "," << effects.offsetY << ")" << " offXY=(" << effects.offsetX << "," << effects.offsetY << ")"
       << " scaleRatio=" << ratio << " scaledOff=(" << ax << "," << ay << ")" << " srcCenter=(" << cx << ","
       << cy << ")" << " totalScale=" << effects.scale << " wasRotated=" << (was_rotated ? 1 : 0);
  LogLine(line.str());

  std::optional<imaging::Bitmap> output = imaging::MakeBitmap(magnet_width_px, magnet_height_px, 0xFFFFFFFF, photo.budget());
  if (!output) return false;

  const float inverse_scale = 1.0f / effects.scale;
  const float half_width = static_cast<float>(magnet_width_px) * 0.5f;
  const float half_height = static_cast<float>(magnet_height_px) * 0.5f;
  // The last column and row are never the left/top sample of a pair, so a sample needs sx < w - 1.
  const float x_limit = static_cast<float>(w - 1);
  const float y_limit = static_cast<float>(h - 1);
  const size_t stride = photo.row_bytes();
  for (int32_t y = 0; y < magnet_height_px; ++y) {
    const float sy = (static_cast<float>(y) - half_height) * inverse_scale + cy;
    // Written as a negated range test so that NaN (a zero zoom) also leaves the row white.
    if (!(sy >= 0.0f && sy < y_limit)) continue;
    const int32_t y0 = static_cast<int32_t>(std::floor(sy));
    const float fy = sy - static_cast<float>(y0);
    uint8_t* out = output->row(y);
    for (int32_t x = 0; x < magnet_width_px; ++x, out += 4) {
      const float sx = (static_cast<float>(x) - half_width) * inverse_scale + cx;
      if (!(sx >= 0.0f && sx < x_limit)) continue;
      const int32_t x0 = static_cast<int32_t>(std::floor(sx));
      const float fx = sx - static_cast<float>(x0);
      const uint8_t* p00 = photo.pixel(x0, y0);
      const uint8_t* p10 = p00 + 4;
      const uint8_t* p01 = p00 + stride;
      const uint8_t* p11 = p01 + 4;
      for (int c = 0; c < 4; ++c) {
        const float v = (p00[c] * (1.0f - fx) + p10[c] * fx) * (1.0f - fy) +
                        (p01[c] * (1.0f - fx) + p11[c] * fx) * fy;
        out[c] = static_cast<uint8_t>(std::min(std::max(v, 0.0f), 255.0f));
      }
    }
  }
  photo = std::move(*output);
  return true;
}

void FitToMagnet(imaging::Bitmap& pixels, int32_t full_width_px, int32_t full_height_px, const EffectRecord* effects,
                 int32_t magnet_width_px, int32_t magnet_height_px, bool was_rotated, const CropFocus* focus) {
  if (pixels.empty() || magnet_width_px < 1 || magnet_height_px < 1) return;
  if (WantsUserTransform(effects) && effects->viewportWidth > 0.0f && effects->viewportHeight > 0.0f) {
    // The transform samples the cover-scaled picture anywhere the user panned to: it needs all of it.
    CoverScaleFull(pixels, full_width_px, full_height_px, magnet_width_px, magnet_height_px);
    if (UserTransform(pixels, *effects, magnet_width_px, magnet_height_px, was_rotated)) return;
  } else if (CoverCrop(pixels, full_width_px, full_height_px, magnet_width_px, magnet_height_px, focus)) {
    return;
  }
  // Out of memory on the way: whatever could be had, cut to at most the magnet.
  CenterCrop(pixels, magnet_width_px, magnet_height_px);
}

void FitToMagnet(imaging::Bitmap& photo, const EffectRecord* effects, int32_t magnet_width_px,
                 int32_t magnet_height_px, bool was_rotated) {
  FitToMagnet(photo, photo.width_px, photo.height_px, effects, magnet_width_px, magnet_height_px, was_rotated);
}

}  // namespace mosalith
