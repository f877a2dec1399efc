// Thumbnails from the shared cache or from the picture itself.
#include "runner/insight/thumbnail.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "imaging/colour/output_space.h"
#include "runner/colour_output.h"
#include "runner/log.h"


namespace runner::insight {
namespace {

using platform::GraphicsStatus;

int64_t ClampedSide(double side) {
  if (std::isnan(side)) return 1;
  return static_cast<int64_t>(std::clamp(std::round(side), 1.0, static_cast<double>(kMaxThumbnailSidePx)));
}

// The preview's pixels in sRGB.
void ToScreen(imaging::Bitmap& image, const imaging::ColourDescription& colour,
              imaging::colour::ColourTransforms* transforms, const std::string& path) {
  imaging::colour::ColourTransforms own(1);
  const imaging::colour::OutputSpace screen{imaging::colour::SrgbProfile(), {}};
  ConvertPicture(image, colour, screen, transforms != nullptr ? *transforms : own, path);
}

std::optional<std::vector<uint8_t>> Png(const platform::Graphics& graphics, const imaging::Bitmap& image) {
  std::vector<uint8_t> bytes;
  if (graphics.EncodePng(image, &bytes) != GraphicsStatus::kOk || bytes.empty()) return std::nullopt;
  return bytes;
}

// The cache entry at `entry` re-encoded as RGBA PNG when it covers `size` and is at most twice its size
// (a larger entry would make a reply, and a decode, far beyond what was asked), else nothing. Its
// header is read first: an entry that does not fit is never decoded.
std::optional<std::vector<uint8_t>> FromCacheEntry(const platform::Graphics& graphics, const std::string& entry,
                                                   PixelSize size, imaging::colour::ColourTransforms* transforms) {
  platform::ImageInfo info;
  if (graphics.ReadInfo(entry, &info) != GraphicsStatus::kOk) return std::nullopt;
  const bool turned = imaging::OrientationSwapsSides(info.orientation);
  const int64_t width = turned ? info.height_px : info.width_px;
  const int64_t height = turned ? info.width_px : info.height_px;
  // One pixel of slack both ways: the cache's maker may have rounded the other way.
  if (width + 1 < size.width_px || height + 1 < size.height_px) return std::nullopt;
  if (width > 2 * size.width_px + 1 || height > 2 * size.height_px + 1) return std::nullopt;
  platform::DecodedImage decoded;
  if (graphics.Decode(entry, {}, &decoded) != GraphicsStatus::kOk) return std::nullopt;
  imaging::Bitmap upright = imaging::ApplyOrientation(std::move(decoded.bitmap), decoded.info.orientation,
                                                      imaging::OrientationSet::kAll);
  ToScreen(upright, decoded.colour, transforms, entry);
  return Png(graphics, upright);
}

}  // namespace

PixelSize RequestedThumbnailSize(int width, int height, double scale) {
  const double factor = scale > 0 ? scale : 1.0;  // false for NaN too
  return {ClampedSide(width * factor), ClampedSide(height * factor)};
}

PixelSize ThumbnailSize(PixelSize picture, PixelSize requested) {
  if (picture.width_px <= 0 || picture.height_px <= 0) return {};
  const double pw = static_cast<double>(picture.width_px);
  const double ph = static_cast<double>(picture.height_px);
  // The box turned to the picture's shape: its longer side along the picture's longer side.
  const bool turn_box = (pw > ph && requested.height_px > requested.width_px) ||
                        (ph > pw && requested.width_px > requested.height_px);
  const double bw = static_cast<double>(turn_box ? requested.height_px : requested.width_px);
  const double bh = static_cast<double>(turn_box ? requested.width_px : requested.height_px);
  double factor = std::max(bw / pw, bh / ph);
  factor = std::min({factor, 1.0, kMaxThumbnailSidePx / std::max(pw, ph)});
  const auto side = [factor](double px) { return std::max<int64_t>(1, static_cast<int64_t>(std::round(px * factor))); };
  return {side(pw), side(ph)};
}

std::optional<std::vector<uint8_t>> RenderThumbnail(const platform::Graphics& graphics,
                                                    const platform::ThumbnailCache* cache, const std::string& path,
                                                    PixelSize requested,
                                                    imaging::colour::ColourTransforms* transforms) {
  platform::ImageInfo info;
  std::string reason;
  if (graphics.ReadInfo(path, &info, &reason) != GraphicsStatus::kOk) {
    LogLine("ERROR: Preview of " + path + " skipped: " + reason);
    return std::nullopt;
  }
  if (!imaging::SizeWithinLimits(info.width_px, info.height_px)) return std::nullopt;
  const bool turned = imaging::OrientationSwapsSides(info.orientation);
  const PixelSize upright{turned ? info.height_px : info.width_px, turned ? info.width_px : info.height_px};
  const PixelSize size = ThumbnailSize(upright, requested);

  if (cache != nullptr) {
    const int longer = static_cast<int>(std::max(size.width_px, size.height_px));
    if (std::optional<std::string> entry = cache->FindEntry(path, longer)) {
      if (auto bytes = FromCacheEntry(graphics, *entry, size, transforms)) return bytes;
    }
  }

  // Sizes in the stored orientation, which is how the file is decoded.
  const int stored_width = static_cast<int>(turned ? size.height_px : size.width_px);
  const int stored_height = static_cast<int>(turned ? size.width_px : size.height_px);
  // Decoded straight to the preview's size with the area filter: a JPEG from its reduced DCT decode, a
  // PNG row by row, so that a large PNG is never held whole.
  // A damaged photo is shown with its damage, so the person can see what is wrong with it.
  platform::DecodeOptions options;
  options.exact_width_px = stored_width;
  options.exact_height_px = stored_height;
  options.purpose = imaging::DecodePurpose::kShow;
  platform::DecodedImage decoded;
  if (graphics.Decode(path, options, &decoded, &reason) != GraphicsStatus::kOk) {
    LogLine("ERROR: Preview of " + path + " skipped: " + reason);
    return std::nullopt;
  }
  imaging::Bitmap stored = std::move(decoded.bitmap);
  if (stored.width_px != stored_width || stored.height_px != stored_height) return std::nullopt;
  ToScreen(stored, decoded.colour, transforms, path);
  return Png(graphics, imaging::ApplyOrientation(std::move(stored), info.orientation, imaging::OrientationSet::kAll));
}

}  // namespace runner::insight
