// Render with effects: the finished picture of one bake request, drawn on a canvas of exactly the
// requested size.
//
// The canvas is opaque white; the photo (decoded at about 1.5 times the canvas when that saves more than
// a quarter of a side, turned upright by its EXIF orientation 3, 6 or 8 on every decode path, turned a
// quarter clockwise for output when asked) is scaled to cover the canvas, then by the user's zoom, centred
// and shifted by the user's offset; an optional stroke runs along the canvas edge and an optional frame
// picture is stretched over everything, blended through its own transparency. Diagnostic lines go to
// standard error. The colour and tone effects leave the pixels unchanged.
// Thread safety: re-entrant; several bake workers render at once, each its own request.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "imaging/colour/colour_transforms.h"
#include "imaging/colour/output_space.h"
#include "imaging/bitmap.h"
#include "platform/graphics.h"
#include "runner/printing/baking/bake_geometry.h"
#include "runner/printing/baking/bake_records.h"

namespace runner::printing {

// A photo ready for the canvas. `size` is the size the render works with; `pixels` hold the picture at
// that size or somewhat larger (the decoder reduces in eighths), so drawing them into a rectangle computed
// from `size` gives the photo at that size with one resample instead of two.
struct CanvasPhoto {
  imaging::Bitmap pixels;
  PixelSize size;
  imaging::ColourDescription colour = {};  // what the file says about its colours
};

// The output space a render converts into, and the table of conversions it uses.
struct RenderColour {
  const imaging::colour::OutputSpace* output = nullptr;  // null: the numbers as stored
  imaging::colour::ColourTransforms* transforms = nullptr;
};

// The photo upright, or nothing after logging why. Tries the reduced decode first and the plain full-size
// decode second; the EXIF orientation (3, 6, 8) is read from the file on both paths.
// `*reason` (when given) receives the image core's reason on failure ("unsupported format HEIC", ...).
std::optional<CanvasPhoto> LoadImageForCanvas(const platform::Graphics& graphics, const std::string& path,
                                              PixelSize wanted, std::string* reason = nullptr);

// The photo as stored, reduced as ReducedDecodeSize allows for `wanted` (upright; compared with the
// stored sides exchanged when the orientation turns the photo a quarter), or at full size when no
// reduction applies. `*orientation` receives the file's EXIF orientation. Nothing when the file cannot be
// read or decoded.
std::optional<CanvasPhoto> DecodeScaledImage(const platform::Graphics& graphics, const std::string& path,
                                             PixelSize wanted, int* orientation, std::string* reason = nullptr);

// `image` handed on as it is; the effect values are not used. Nothing (after logging the lock failure)
// when its pixels do not match its size.
std::optional<imaging::Bitmap> ApplyEffects(imaging::Bitmap image, const BakeEffects& effects);

// The rendered canvas of `request`, or null after logging the failure. A canvas size outside 1..32767 or
// the pixel budget fails before anything is decoded. With `colour`, the photo is converted into its output
// space once it is decoded and reduced, the frame once it is decoded and the stroke's colour (chosen in
// sRGB) too, so that the canvas is wholly in the output space. `*reason` (when given) is set when the
// photo itself could not be used.
std::unique_ptr<platform::Canvas> RenderImageWithEffects(const platform::Graphics& graphics,
                                                         const BakeRequest& request, const RenderColour& colour = {},
                                                         std::string* reason = nullptr);

}  // namespace runner::printing
