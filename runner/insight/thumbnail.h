// Thumbnails: a preview of a picture file of about the requested size, upright, as an RGBA PNG.
//
// The preview covers the requested box (both sides at least as requested) in the picture's own upright
// aspect ratio, is never larger than the picture, and its longer side never exceeds kMaxThumbnailSidePx.
// A valid entry of the desktop's shared thumbnail cache of at least that size is used when there is one;
// otherwise the picture is decoded with decode-time reduction (JPEG), resampled, turned upright and
// encoded. A picture past the decoding limits gives nothing.
// Thread safety: re-entrant; the ports state their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/graphics.h"
#include "platform/thumbnail_cache.h"
#include "runner/insight/face_geometry.h"

namespace runner::insight {

inline constexpr int kMaxThumbnailSidePx = 4096;

// The requested box: width and height times `scale` (1 when not above 0, or not a number), each rounded
// half away from zero and brought into 1..kMaxThumbnailSidePx before it becomes an integer.
PixelSize RequestedThumbnailSize(int width, int height, double scale);

// The preview size for an upright picture of `picture` covering `requested`; see the file comment.
PixelSize ThumbnailSize(PixelSize picture, PixelSize requested);

// The PNG bytes of the preview of `path`, or nothing when the file is missing, not a picture, past the
// limits, or any step fails. `cache` may be null.
std::optional<std::vector<uint8_t>> RenderThumbnail(const platform::Graphics& graphics,
                                                    const platform::ThumbnailCache* cache, const std::string& path,
                                                    PixelSize requested);

}  // namespace runner::insight
