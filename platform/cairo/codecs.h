// The codec functions behind CairoGraphics, one technology per file: JPEG through libjpeg-turbo, PNG
// through libpng. Internal to the adapter; headers are read by the one picture reader, not here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/graphics.h"

namespace platform::codecs {

// Files above this size are not read as pictures (a 200-megapixel JPEG is far smaller).
inline constexpr size_t kMaxFileBytes = size_t{512} << 20;

// Decoding to RGBA, the pixels taken from `budget` (none: not counted); kInvalidParameter when the
// picture would need more than the whole budget, kOutOfMemory when the budget refused to wait for it.
// JPEG: at the smallest M/8 scale at least min_width_px x min_height_px (when both > 0).
GraphicsStatus DecodeJpeg(const std::vector<uint8_t>& bytes, int min_width_px, int min_height_px, Bitmap* out,
                          MemoryBudget* budget);

// Where a PNG's decoded rows go: told the size once (a status other than kOk ends the decode with it),
// then handed every row, top to bottom, as 8-bit RGBA with straight alpha.
class PngRowSink {
 public:
  virtual ~PngRowSink() = default;
  virtual GraphicsStatus Begin(int width_px, int height_px) = 0;
  virtual void Row(const uint8_t* rgba) = 0;
};

// The one PNG decoder: `bytes` decoded row by row into `sink` (sizes outside the limits are refused
// before any row). kUnknownImageFormat for a damaged or truncated file.
GraphicsStatus ReadPngRows(const std::vector<uint8_t>& bytes, PngRowSink& sink);
// The whole picture.
GraphicsStatus DecodePng(const std::vector<uint8_t>& bytes, Bitmap* out, MemoryBudget* budget);
// The picture reduced by the area filter to width_px x height_px (at most its own size) as its rows are
// decoded; the full-size picture is never held.
GraphicsStatus DecodePngReduced(const std::vector<uint8_t>& bytes, int width_px, int height_px, Bitmap* out,
                                MemoryBudget* budget);

// The JFIF density is density_dpi dots per inch when above 0 (at most 65535), else 1:1 without units.
GraphicsStatus EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out, int density_dpi);
GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out);

}  // namespace platform::codecs
