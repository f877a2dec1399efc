// Picture files of the formats the image core decodes, written by the same Debian libraries, for tests
// of the core and of both programs.
#pragma once

#include <cstdint>
#include <vector>

#include "imaging/bitmap.h"

namespace imaging::testing {

// Lossless WebP of `image` (alpha kept).
std::vector<uint8_t> WebpFile(const Bitmap& image);
// An uncompressed (or deflate-compressed) RGBA TIFF of `image` whose Orientation tag is `orientation`.
std::vector<uint8_t> TiffFile(const Bitmap& image, int orientation = 1, bool deflate = false);
// A JPEG of `image` at quality 95 carrying `icc` as APP2 chunks (none when empty).
std::vector<uint8_t> JpegFile(const Bitmap& image, const std::vector<uint8_t>& icc = {});
// A PNG of `image` with an iCCP chunk holding `icc` (none when empty), and a gAMA chunk when gamma > 0.
std::vector<uint8_t> PngFileWithColour(const Bitmap& image, const std::vector<uint8_t>& icc, double gamma = 0);
// Whether this build can write HEIC (an HEVC encoder is there).
bool CanWriteHeic();
// A HEIC (HEVC, quality 90) of `image` stored as it is, with irot/imir boxes for EXIF orientation
// `orientation` (the decoder's turn makes it upright) and, when `exif_orientation` is above 0, an EXIF
// block saying that orientation as well.
std::vector<uint8_t> HeicFile(const Bitmap& image, int orientation = 1, int exif_orientation = 0);

}  // namespace imaging::testing
