// The codec functions behind CairoGraphics, one technology per file: reading picture files, JPEG through
// libjpeg-turbo, PNG through libpng, the EXIF orientation through libexif. Internal to the adapter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics.h"

namespace platform::codecs {

// Files above this size are not read as pictures (a 200-megapixel JPEG is far smaller).
inline constexpr size_t kMaxFileBytes = size_t{512} << 20;

// Reads the regular file `path` whole. A FIFO, device or folder is refused before it is opened for
// reading (opening is non-blocking, and the type is checked on the open descriptor).
GraphicsStatus ReadPictureFile(const std::string& path, std::vector<uint8_t>* bytes);

// The format from the first bytes: JPEG starts FF D8 FF, PNG with its 8-byte signature.
ImageFormat SniffFormat(const std::vector<uint8_t>& bytes);

// EXIF orientation of a JPEG (1..8), 1 when absent, malformed or outside 1..8.
int JpegOrientation(const std::vector<uint8_t>& bytes);

// Header only: stored size. kUnknownImageFormat when the header does not parse.
GraphicsStatus JpegSize(const std::vector<uint8_t>& bytes, int* width_px, int* height_px);
GraphicsStatus PngSize(const std::vector<uint8_t>& bytes, int* width_px, int* height_px);

// Decoding to RGBA, the pixels taken from `budget` (none: not counted); kInvalidParameter when the
// picture would need more than the whole budget, kOutOfMemory when the budget refused to wait for it.
// JPEG: at the smallest M/8 scale at least min_width_px x min_height_px (when both > 0).
GraphicsStatus DecodeJpeg(const std::vector<uint8_t>& bytes, int min_width_px, int min_height_px, Bitmap* out,
                          MemoryBudget* budget);
GraphicsStatus DecodePng(const std::vector<uint8_t>& bytes, Bitmap* out, MemoryBudget* budget);

// PNG reduced while it is decoded, a band of rows at a time: every factor x factor block of the picture
// becomes one pixel (averaged with alpha weighting), so only the reduced picture and one row are ever in
// memory. Not for interlaced files (kInvalidParameter: decode them whole). factor >= 2.
GraphicsStatus DecodePngReduced(const std::vector<uint8_t>& bytes, int factor, Bitmap* out, MemoryBudget* budget);

// The largest whole reduction of a width_px x height_px picture that still covers min_width_px x
// min_height_px; 1 when none does or no reduction is asked for (a side of 0).
int PngReductionFactor(int width_px, int height_px, int min_width_px, int min_height_px);

// True when the PNG's header says it is interlaced (its rows arrive in seven passes).
bool PngInterlaced(const std::vector<uint8_t>& bytes);

GraphicsStatus EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out);
GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out);

}  // namespace platform::codecs
