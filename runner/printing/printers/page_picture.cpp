// One picture of a print job's page: loading and placing it.
#include "runner/printing/printers/page_picture.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <utility>

#include "runner/log.h"
#include "runner/printing/printers/page_layout.h"

namespace runner::printing {
namespace {

// The largest JPEG placed on a page as it is stored. The page device keeps a picture's whole pixel grid
// while the page is made (4 bytes a pixel, twice over), which camera photos afford; a file claiming more
// (16000 x 16000 costs gigabytes) is decoded at the device pixels it covers, as other pictures are.
constexpr int64_t kMaxPlacedJpegPixels = 48'000'000;

}  // namespace

std::string LogNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

platform::GraphicsStatus DecodeUpright(const platform::Graphics& graphics, const std::string& path, int orientation,
                                       int upright_width_px, int upright_height_px, imaging::Bitmap* out,
                                       imaging::ColourDescription* colour, std::string* reason) {
  const bool swaps = imaging::OrientationSwapsSides(orientation);
  platform::DecodeOptions options;
  options.min_width_px = std::max(1, swaps ? upright_height_px : upright_width_px);
  options.min_height_px = std::max(1, swaps ? upright_width_px : upright_height_px);
  platform::DecodedImage decoded;
  const platform::GraphicsStatus status = graphics.Decode(path, options, &decoded, reason);
  if (status != platform::GraphicsStatus::kOk) return status;
  *colour = std::move(decoded.colour);
  try {
    *out = imaging::ApplyOrientation(std::move(decoded.bitmap), orientation, imaging::OrientationSet::kAll);
  } catch (const std::bad_alloc&) {
    return platform::GraphicsStatus::kOutOfMemory;
  }
  return platform::GraphicsStatus::kOk;
}

platform::GraphicsStatus LoadPagePicture(const platform::Graphics& graphics, const std::string& path, int pw, int ph,
                                         LoadedPicture* out, std::string* reason) {
  platform::GraphicsStatus status = graphics.ReadInfo(path, &out->info, reason);
  if (status != platform::GraphicsStatus::kOk) return status;
  const platform::ImageInfo& info = out->info;
  if (info.width_px <= 0 || info.height_px <= 0) return platform::GraphicsStatus::kInvalidArgument;
  const bool swaps = imaging::OrientationSwapsSides(info.orientation);
  out->upright_width_px = swaps ? info.height_px : info.width_px;
  out->upright_height_px = swaps ? info.width_px : info.height_px;
  out->upright_resolution = info.resolution;
  if (swaps && info.resolution) out->upright_resolution = {info.resolution->y_dpi, info.resolution->x_dpi};
  if (info.format == platform::ImageFormat::kJpeg && int64_t{info.width_px} * info.height_px <= kMaxPlacedJpegPixels) {
    // The smallest reduced decode proves the file decodes; the page then carries the file itself.
    platform::DecodedImage decoded;
    status = graphics.Decode(path, platform::DecodeOptions{1, 1}, &decoded, reason);
    out->colour = std::move(decoded.colour);
    return status;
  }
  // Decoded at no less than the device pixels it will cover.
  const PageFit fit = FitToPrintableArea(out->upright_width_px, out->upright_height_px, pw, ph);
  imaging::Bitmap upright;
  status = DecodeUpright(graphics, path, info.orientation, fit.turned ? fit.dest_height_px : fit.dest_width_px,
                         fit.turned ? fit.dest_width_px : fit.dest_height_px, &upright, &out->colour, reason);
  if (status != platform::GraphicsStatus::kOk) return status;
  out->bitmap = std::move(upright);
  return platform::GraphicsStatus::kOk;
}

Placement PlacePicture(int w, int h, const std::optional<imaging::PictureResolution>& resolution,
                       const platform::DeviceGeometry& geometry) {
  const int pw = geometry.printable_width_px;
  const int ph = geometry.printable_height_px;
  const double dpi_x = geometry.dpi_x > 0 ? geometry.dpi_x : kUnknownImageDpi;
  const double dpi_y = geometry.dpi_y > 0 ? geometry.dpi_y : kUnknownImageDpi;
  const PageFit fit = FitToPrintableArea(w, h, pw, ph);
  if (fit.turned) {
    LogLine("DEBUG: Rotated image 90° to match DC orientation. New size: " + std::to_string(fit.width_px) + "x" +
            std::to_string(fit.height_px));
  }
  const bool believable =
      resolution && resolution->x_dpi <= kMaxTrueSizeDpi && resolution->y_dpi <= kMaxTrueSizeDpi;
  if (resolution && !believable) {
    LogLine("DEBUG: Image resolution " + LogNumber(resolution->x_dpi) + "x" + LogNumber(resolution->y_dpi) +
            " dpi is finer than any printer's; fitted to the page");
  } else if (resolution && geometry.dpi_x > 0 && geometry.dpi_y > 0) {
    const TrueSizePlacement place =
        PlaceAtTrueSize(w, h, resolution->x_dpi, resolution->y_dpi, pw, ph, geometry.dpi_x, geometry.dpi_y);
    const std::string size_mm = LogNumber(place.width_px / place.dpi_x * 25.4) + "x" +
                                LogNumber(place.height_px / place.dpi_y * 25.4) + " mm";
    if (place.fits) {
      LogLine("DEBUG DRAWING (true size):");
      LogLine("  Scale factor: " + LogNumber(place.scale_x) + "x" + LogNumber(place.scale_y) + " (image " +
              LogNumber(place.dpi_x) + "x" + LogNumber(place.dpi_y) + " dpi on printer " + std::to_string(geometry.dpi_x) +
              "x" + std::to_string(geometry.dpi_y) + " dpi)");
      LogLine("  Dest size: " + LogNumber(place.dest_width_px) + "x" + LogNumber(place.dest_height_px) + " pixels");
      LogLine("  Offset: " + LogNumber(place.offset_x_px) + "x" + LogNumber(place.offset_y_px) + " pixels");
      LogLine("  Expected physical: " + LogNumber(place.dest_width_px / dpi_x * 25.4) + "x" +
              LogNumber(place.dest_height_px / dpi_y * 25.4) + " mm");
      return {platform::RectF{place.offset_x_px, place.offset_y_px, place.dest_width_px, place.dest_height_px},
              place.turned};
    }
    LogLine("DEBUG: Image at its true size (" + size_mm + ") does not fit the printable area (" +
            LogNumber(pw * 25.4 / dpi_x) + "x" + LogNumber(ph * 25.4 / dpi_y) + " mm); fitted to the page");
  } else if (!resolution) {
    LogLine("DEBUG: Image states no resolution; fitted to the page");
  }
  LogLine("DEBUG DRAWING (fit to page):");
  LogLine("  Scale factor: " + LogNumber(fit.scale) + " (scaleX=" + LogNumber(fit.scale_x) + ", scaleY=" +
          LogNumber(fit.scale_y) + ")");
  LogLine("  Dest size: " + std::to_string(fit.dest_width_px) + "x" + std::to_string(fit.dest_height_px) + " pixels");
  LogLine("  Offset: " + std::to_string(fit.offset_x_px) + "x" + std::to_string(fit.offset_y_px) + " pixels");
  LogLine("  Expected physical: " + LogNumber(fit.dest_width_px / dpi_x * 25.4) + "x" +
          LogNumber(fit.dest_height_px / dpi_y * 25.4) + " mm");
  return {platform::RectF{static_cast<double>(fit.offset_x_px), static_cast<double>(fit.offset_y_px),
                          static_cast<double>(fit.dest_width_px), static_cast<double>(fit.dest_height_px)},
          fit.turned};
}

}  // namespace runner::printing
