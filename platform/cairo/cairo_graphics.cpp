// CairoGraphics: the Graphics port wired from the picture file, the image core's decoders and encoders,
// and the cairo canvas.
#include "platform/cairo/cairo_graphics.h"

#include <memory>

#include "imaging/encode.h"
#include "platform/cairo/cairo_canvas.h"
#include "platform/portable/picture_open.h"

namespace platform {

GraphicsStatus CairoGraphics::ReadInfo(const std::string& path, ImageInfo* info, std::string* reason) const {
  return ReadPictureInfo(path, info, reason);
}

GraphicsStatus CairoGraphics::Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out,
                                     std::string* reason) const {
  return DecodePictureFile(path, options, budget_, out, reason);
}

std::unique_ptr<Canvas> CairoGraphics::CreateCanvas(int width_px, int height_px, GraphicsStatus* status) const {
  return CairoCanvas::Create(width_px, height_px, status, budget_);
}

GraphicsStatus CairoGraphics::EncodeJpeg(const imaging::Bitmap& image, int quality, std::vector<uint8_t>* out,
                                         int density_dpi) const {
  base::StatusOr<std::vector<uint8_t>> bytes = imaging::EncodeJpeg(image, quality, density_dpi, budget_);
  if (!bytes.ok()) return StatusFor(bytes.status());
  *out = std::move(*bytes);
  return GraphicsStatus::kOk;
}

GraphicsStatus CairoGraphics::EncodePng(const imaging::Bitmap& image, std::vector<uint8_t>* out) const {
  base::StatusOr<std::vector<uint8_t>> bytes = imaging::EncodePng(image, budget_);
  if (!bytes.ok()) return StatusFor(bytes.status());
  *out = std::move(*bytes);
  return GraphicsStatus::kOk;
}

}  // namespace platform
