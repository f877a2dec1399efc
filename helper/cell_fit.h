// Fitting a photo to exactly one magnet: cover scale, then the centre crop or the user's zoom and pan.
//
// Every function changes the photo in place and is re-entrant (one thread per photo).
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "helper/effect_record.h"
#include "helper/grid_job.h"
#include "imaging/bitmap.h"

namespace mosalith {

// Scales the photo so it covers magnet_width_px x magnet_height_px: s = max(mH / h, mW / w) in double
// precision, sizes s * w and s * h truncated but never below the magnet's (a rounding error in s * w
// must not leave the photo one pixel short), by the one reduction (imaging/reduce.h). Out of memory, or
// a result beyond the pixel limits (a sliver of a photo blown up to billions of pixels): the photo keeps
// its size.
void CoverScale(imaging::Bitmap& photo, int32_t magnet_width_px, int32_t magnet_height_px);

// The cover-scaled size of a picture of width_px x height_px: what CoverScale resizes it to (before the
// pixel budget is applied). Nothing for sizes below 1 or a result beyond 2^30 pixels a side.
struct CoverSize {
  int32_t width_px = 0;
  int32_t height_px = 0;
};
std::optional<CoverSize> CoverSizeOf(int32_t width_px, int32_t height_px, int32_t magnet_width_px,
                                     int32_t magnet_height_px);

// What moves the centre crop off the centre (helper/crop_focus.h): the photo's faces, fractions of the
// upright photo, kept inside the magnet, which is the crop less `inset_px` (the bleed) on every side.
struct CropFocus {
  const std::vector<FaceArea>* faces = nullptr;
  bool turned = false;  // the photo lies turned a quarter clockwise
  int32_t inset_px = 0;
};

// Cover scale and centre crop in one resample of the visible part (the one reduction's window, from
// imaging/reduce.h): the result is exactly magnet-sized
// and equals CoverScale followed by CenterCrop, but the cover-scaled picture is never held, so a sliver
// (4000 x 1 in a 400 x 300 magnet) fills its magnet however large its cover size. `pixels` shows a
// picture of full_width_px x full_height_px (it may be a reduced decode of it): the cover size and the
// crop are those of the full picture. Returns false, pixels unchanged, when memory runs out. With
// `focus` holding faces, the
// crop window is placed by CropWindowFor instead of centred.
bool CoverCrop(imaging::Bitmap& pixels, int32_t full_width_px, int32_t full_height_px, int32_t magnet_width_px,
               int32_t magnet_height_px, const CropFocus* focus = nullptr);

// Where CoverCrop takes the magnet from: the cover size of the full picture and the magnet's window in
// it (from its top-left corner). Nothing when CoverSizeOf gives nothing.
struct CoverWindow {
  CoverSize cover;
  int32_t left_px = 0;
  int32_t top_px = 0;
};
std::optional<CoverWindow> CoverWindowOf(int32_t full_width_px, int32_t full_height_px, int32_t magnet_width_px,
                                         int32_t magnet_height_px, const CropFocus* focus = nullptr);

// Keeps the centred magnet-sized rectangle (or less where the photo is smaller): left offset
// max(0, (w - mW) / 2), top offset max(0, (h - mH) / 2). Out of memory: the photo stays as it was.
void CenterCrop(imaging::Bitmap& photo, int32_t magnet_width_px, int32_t magnet_height_px);

// Resamples the cover-scaled photo around the user's centre and zoom into a magnet-sized, white-backed
// picture (bilinear, single precision), printing the "Mosalith TRANSFORM DEBUG:" line. The offsets are
// in viewport units; `was_rotated` swaps the viewport's sides because the photo was turned to the
// magnet. Output pixels whose sample falls outside [0, w - 1) x [0, h - 1) stay opaque white. Returns
// false, photo unchanged, without a positive viewport (no line then) or when memory runs out.
bool UserTransform(imaging::Bitmap& photo, const EffectRecord& effects, int32_t magnet_width_px,
                   int32_t magnet_height_px, bool was_rotated);

// The user transform when the record asks for one (cover scale to the full picture's cover size, then
// the transform), else CoverCrop. A user transform that cannot run (no positive viewport) gives the
// centre crop, so the result is exactly magnet-sized whenever memory allows. `pixels` shows a picture of
// full_width_px x full_height_px, possibly reduced by a scaled decode. `focus` places the centre crop (the
// user's zoom and pan are the user's own choice and are never moved).
void FitToMagnet(imaging::Bitmap& pixels, int32_t full_width_px, int32_t full_height_px, const EffectRecord* effects,
                 int32_t magnet_width_px, int32_t magnet_height_px, bool was_rotated,
                 const CropFocus* focus = nullptr);
// The same for a photo held at its full size.
void FitToMagnet(imaging::Bitmap& photo, const EffectRecord* effects, int32_t magnet_width_px,
                 int32_t magnet_height_px, bool was_rotated);

}  // namespace mosalith
