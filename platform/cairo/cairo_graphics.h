// CairoGraphics: the Graphics port over cairo (canvas, drawing), libjpeg-turbo (JPEG decoding with
// decode-time reduction, JPEG encoding) and libpng (PNG); headers, orientation and resolution come from
// the one picture header reader, which reads only the header, never the whole file.
#pragma once

#include "platform/graphics.h"

namespace platform {

// Stateless: every call opens its own library handles, so any number of threads may use one instance.
class CairoGraphics : public Graphics {
 public:
  GraphicsStatus ReadInfo(const std::string& path, ImageInfo* info) const override;
  GraphicsStatus Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out) const override;
  std::unique_ptr<Canvas> CreateCanvas(int width_px, int height_px, GraphicsStatus* status = nullptr) const override;
  GraphicsStatus EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out,
                            int density_dpi = 0) const override;
  GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out) const override;
};

}  // namespace platform
