// Reading and writing image files: photo and frame decoding, sheet JPEG encoding.
//
// Photos are untrusted input. The decoder is built with only the JPEG, PNG, BMP, TGA and PSD loaders,
// and a file's dimensions are checked before any pixel is decoded.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "helper/image_buffer.h"

namespace mosalith {

// Largest picture decoded, in pixels: room for 200-megapixel phone photos, refusing the "bomb" files
// whose header promises far more than any camera makes (the RGBA block of the limit is about 1 GiB).
inline constexpr int64_t kMaxDecodePixels = 260'000'000;

// Decodes the file at `utf8_path` into RGBA as stored (no orientation applied); every format arrives
// with 4 channels, opaque formats with alpha 255. Returns nothing, without a message, when the file
// cannot be opened; is not JPEG, PNG, BMP, TGA or PSD (GIF, HDR, PNM and PIC are refused); has a side
// above 65536 pixels or more than kMaxDecodePixels pixels; is corrupt (a JPEG Huffman table with more
// than 256 codes included: the decoder would overrun its tables); or memory runs out.
// Re-entrant: may run on several workers at once; reads and changes no library-wide setting.
std::optional<ImageBuffer> LoadImage(const std::string& utf8_path);

// Writes `image` as a baseline JPEG at `utf8_path` (created or replaced), R, G, B kept and alpha dropped.
// `quality` 0 means 90; other values are limited to 1..100. Returns false when the file cannot be
// opened, memory runs out, encoding fails or the data cannot be written out (a full disk shows at
// fclose); a partly written file may then remain. Re-entrant.
bool WriteJpeg(const ImageBuffer& image, const std::string& utf8_path, int quality);

}  // namespace mosalith
