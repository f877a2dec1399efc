// CairoGraphics: the Graphics port over cairo (canvas, drawing), libjpeg-turbo (JPEG decoding with
// decode-time reduction, JPEG encoding) and libpng (PNG); headers, orientation and resolution come from
// the one picture header reader, which reads only the header, never the whole file.
#pragma once

#include "platform/graphics.h"

namespace platform {

// Every call opens its own library handles, so any number of threads may use one instance. Decoded
// pictures, canvases and the surfaces drawing makes take their memory from `budget` (none: not counted).
class CairoGraphics : public Graphics {
 public:
  explicit CairoGraphics(MemoryBudget* budget = nullptr) : budget_(budget) {}

  GraphicsStatus ReadInfo(const std::string& path, ImageInfo* info) const override;
  GraphicsStatus Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out) const override;
  std::unique_ptr<Canvas> CreateCanvas(int width_px, int height_px, GraphicsStatus* status = nullptr) const override;
  GraphicsStatus EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out,
                            int density_dpi = 0) const override;
  GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out) const override;
  // Nothing to start: no waits.
  LibraryWaits BakeWaits() const override { return {}; }

 private:
  MemoryBudget* budget_;
};

}  // namespace platform
