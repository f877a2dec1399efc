// PNG decoding and encoding through libpng, for the graphics adapter. Headers are read by the one
// picture reader (platform/picture/), not here.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics.h"

namespace platform::codecs {

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

// The whole picture, the pixels taken from `budget` (none: not counted); kInvalidParameter when the
// picture would need more than the whole budget, kOutOfMemory when the budget refused to wait for it.
GraphicsStatus DecodePng(const std::vector<uint8_t>& bytes, Bitmap* out, MemoryBudget* budget);

// The picture reduced by the area filter to width_px x height_px (at most its own size) as its rows are
// decoded; the full-size picture is never held.
GraphicsStatus DecodePngReduced(const std::vector<uint8_t>& bytes, int width_px, int height_px, Bitmap* out,
                                MemoryBudget* budget);

GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out);

}  // namespace platform::codecs
