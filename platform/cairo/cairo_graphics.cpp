// CairoGraphics: the Graphics port wired from the picture file, the one header reader, the codec
// functions and the cairo canvas.
#include "platform/cairo/cairo_graphics.h"

#include <algorithm>
#include <memory>

#include "platform/cairo/cairo_canvas.h"
#include "platform/libpng/png_codec.h"
#include "platform/posix/picture_open.h"
#include "platform/reduce.h"
#include "platform/turbojpeg/turbojpeg_codec.h"

namespace platform {

GraphicsStatus CairoGraphics::ReadInfo(const std::string& path, ImageInfo* info) const {
  return ReadPictureInfo(path, info);
}

GraphicsStatus CairoGraphics::Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out) const {
  return DecodePicture(path, options, [this](const PixelRequest& request, Bitmap* bitmap) {
    if (request.info.format == ImageFormat::kJpeg) {
      return codecs::DecodeJpeg(request.bytes, request.min_width_px, request.min_height_px, bitmap, budget_);
    }
    if (request.exact) {
      return codecs::DecodePngReduced(request.bytes, request.min_width_px, request.min_height_px, bitmap, budget_);
    }
    // A PNG cannot be decoded at a smaller scale the way a JPEG can: when a smaller picture will do, it is
    // reduced as its rows are decoded, by the largest whole factor that still covers the size asked for.
    int width = request.info.width_px, height = request.info.height_px;
    DecodeSize(ImageFormat::kPng, width, height, request.min_width_px, request.min_height_px, &width, &height);
    return width < request.info.width_px ? codecs::DecodePngReduced(request.bytes, width, height, bitmap, budget_)
                                         : codecs::DecodePng(request.bytes, bitmap, budget_);
  }, out);
}

std::unique_ptr<Canvas> CairoGraphics::CreateCanvas(int width_px, int height_px, GraphicsStatus* status) const {
  return CairoCanvas::Create(width_px, height_px, status, budget_);
}

GraphicsStatus CairoGraphics::EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out,
                                         int density_dpi) const {
  return codecs::EncodeJpeg(image, quality, out, density_dpi);
}

GraphicsStatus CairoGraphics::EncodePng(const Bitmap& image, std::vector<uint8_t>* out) const {
  return codecs::EncodePng(image, out);
}

}  // namespace platform
