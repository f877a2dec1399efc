// One picture of a print job's page: loaded for the printable area (a JPEG checked and left as stored, or
// decoded pixels turned upright by the file's EXIF orientation, all eight values), and placed on it: at
// its physical size when its file states a resolution and that size fits, else fitted. Each step writes
// its log lines.
// Thread safety: the functions keep no state.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "imaging/colour/colour_description.h"
#include "platform/graphics.h"
#include "platform/print_device.h"

namespace runner::printing {

// The resolution logged for a picture whose file states none: the Windows imaging library's default.
inline constexpr double kUnknownImageDpi = 96.0;

// A number as the print log writes it ("%g").
std::string LogNumber(double value);

// A loaded page picture: a JPEG checked and left as stored, or decoded pixels turned upright.
struct LoadedPicture {
  platform::ImageInfo info;  // the file's own size and orientation
  imaging::ColourDescription colour;
  std::optional<imaging::Bitmap> bitmap;
  int upright_width_px = 0;  // the picture as it is seen: the layout is computed from these
  int upright_height_px = 0;
  std::optional<imaging::PictureResolution> upright_resolution;
};

// Loads the picture for a printable area of pw x ph device pixels. A decoded picture (any but a JPEG
// placed as stored) is only as large as the page will show it. `*reason` says why it failed.
platform::GraphicsStatus LoadPagePicture(const platform::Graphics& graphics, const std::string& path, int pw, int ph,
                                         LoadedPicture* out, std::string* reason);

// Decodes `path` at no less than `upright_width_px` x `upright_height_px` once turned upright by
// `orientation`, and turns it upright.
platform::GraphicsStatus DecodeUpright(const platform::Graphics& graphics, const std::string& path, int orientation,
                                       int upright_width_px, int upright_height_px, imaging::Bitmap* out,
                                       imaging::ColourDescription* colour, std::string* reason = nullptr);

struct Placement {
  platform::RectF dest;  // printable-area pixels
  bool turned = false;   // a quarter clockwise, to the page's shape
};

// Where an upright w x h picture goes in the printable area of `geometry`.
Placement PlacePicture(int w, int h, const std::optional<imaging::PictureResolution>& resolution,
                       const platform::DeviceGeometry& geometry);

}  // namespace runner::printing
