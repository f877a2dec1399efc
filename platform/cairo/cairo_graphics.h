// CairoGraphics: the Graphics port over cairo (canvas, drawing); pictures are decoded and encoded by the
// image core (imaging/), headers read by its reader, which reads only the header, never the whole file.
#pragma once

#include "platform/graphics.h"

namespace platform {

// Every call opens its own library handles, so any number of threads may use one instance. Decoded
// pictures, canvases and the surfaces drawing makes take their memory from `budget` (none: not counted).
class CairoGraphics : public Graphics {
 public:
  explicit CairoGraphics(imaging::MemoryBudget* budget = nullptr) : budget_(budget) {}

  GraphicsStatus ReadInfo(const std::string& path, ImageInfo* info, std::string* reason = nullptr) const override;
  GraphicsStatus Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out,
                        std::string* reason = nullptr) const override;
  std::unique_ptr<Canvas> CreateCanvas(int width_px, int height_px, GraphicsStatus* status = nullptr) const override;
  GraphicsStatus EncodeJpeg(const imaging::Bitmap& image, int quality, std::vector<uint8_t>* out,
                            int density_dpi = 0) const override;
  GraphicsStatus EncodePng(const imaging::Bitmap& image, std::vector<uint8_t>* out) const override;

 private:
  imaging::MemoryBudget* budget_;
};

}  // namespace platform
