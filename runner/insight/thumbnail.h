// Thumbnails: a preview of a picture file of about the requested size, upright, as an RGBA PNG.
//
// The preview covers the requested box turned to the picture's shape (its longer side along the
// picture's longer side; both sides at least as requested) in the picture's own upright aspect ratio, is
// never larger than the picture, and its longer side never exceeds kMaxThumbnailSidePx. So a 256 x 192 and
// a 192 x 256 box both ask a 4:3 photo for 256 x 192, whichever way it stands.
// A valid entry of the desktop's shared thumbnail cache covering that size is used when there is one (a
// 256 px entry serves both boxes above); otherwise the picture is decoded with decode-time reduction
// (JPEG), reduced to the size with the area filter, turned upright and encoded. A picture past the
// decoding limits gives nothing.
// Thread safety: re-entrant; the ports state their own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/colour/colour_transforms.h"
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
// limits, or any step fails. `cache` may be null. A preview is always sRGB, the screen's space, whatever
// the colour-profile selection: the reduced picture is converted from its own profile (`transforms` may be
// null: a table of the call's own).
std::optional<std::vector<uint8_t>> RenderThumbnail(const platform::Graphics& graphics,
                                                    const platform::ThumbnailCache* cache, const std::string& path,
                                                    PixelSize requested,
                                                    imaging::colour::ColourTransforms* transforms = nullptr);

}  // namespace runner::insight
