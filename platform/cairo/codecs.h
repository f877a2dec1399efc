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

// Decoding to RGBA. JPEG: at the smallest M/8 scale at least min_width_px x min_height_px (when both > 0).
GraphicsStatus DecodeJpeg(const std::vector<uint8_t>& bytes, int min_width_px, int min_height_px, Bitmap* out);
GraphicsStatus DecodePng(const std::vector<uint8_t>& bytes, Bitmap* out);

// The JFIF density is density_dpi dots per inch when above 0 (at most 65535), else 1:1 without units.
GraphicsStatus EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out, int density_dpi);
GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out);

}  // namespace platform::codecs
