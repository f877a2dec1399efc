// CairoGraphics: the Graphics port wired from the codec functions and the cairo canvas.
#include "platform/cairo/cairo_graphics.h"

#include "platform/cairo/cairo_canvas.h"
#include "platform/cairo/codecs.h"

namespace platform {
namespace {

GraphicsStatus InfoFromBytes(const std::vector<uint8_t>& bytes, ImageInfo* info) {
  ImageInfo result;
  result.format = codecs::SniffFormat(bytes);
  GraphicsStatus status = GraphicsStatus::kUnknownImageFormat;
  if (result.format == ImageFormat::kJpeg) {
    status = codecs::JpegSize(bytes, &result.width_px, &result.height_px);
    if (status == GraphicsStatus::kOk) result.orientation = codecs::JpegOrientation(bytes);
  } else if (result.format == ImageFormat::kPng) {
    status = codecs::PngSize(bytes, &result.width_px, &result.height_px);
  }
  if (status != GraphicsStatus::kOk) return status;
  *info = result;
  return GraphicsStatus::kOk;
}

}  // namespace

GraphicsStatus CairoGraphics::ReadInfo(const std::string& path, ImageInfo* info) const {
  std::vector<uint8_t> bytes;
  const GraphicsStatus status = codecs::ReadPictureFile(path, &bytes);
  if (status != GraphicsStatus::kOk) return status;
  return InfoFromBytes(bytes, info);
}

GraphicsStatus CairoGraphics::Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out) const {
  std::vector<uint8_t> bytes;
  GraphicsStatus status = codecs::ReadPictureFile(path, &bytes);
  if (status != GraphicsStatus::kOk) return status;
  DecodedImage decoded;
  status = InfoFromBytes(bytes, &decoded.info);
  if (status != GraphicsStatus::kOk) return status;
  if (decoded.info.format == ImageFormat::kJpeg) {
    status = codecs::DecodeJpeg(bytes, options.min_width_px, options.min_height_px, &decoded.bitmap, budget_);
  } else {
    // A PNG cannot be decoded at a smaller scale the way a JPEG can; it is reduced band by band instead,
    // unless its rows come interlaced.
    const int factor = codecs::PngReductionFactor(decoded.info.width_px, decoded.info.height_px, options.min_width_px,
                                                  options.min_height_px);
    status = factor >= 2 && !codecs::PngInterlaced(bytes)
                 ? codecs::DecodePngReduced(bytes, factor, &decoded.bitmap, budget_)
                 : codecs::DecodePng(bytes, &decoded.bitmap, budget_);
  }
  if (status != GraphicsStatus::kOk) return status;
  *out = std::move(decoded);
  return GraphicsStatus::kOk;
}

std::unique_ptr<Canvas> CairoGraphics::CreateCanvas(int width_px, int height_px, GraphicsStatus* status) const {
  return CairoCanvas::Create(width_px, height_px, status, budget_);
}

GraphicsStatus CairoGraphics::EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out) const {
  return codecs::EncodeJpeg(image, quality, out);
}

GraphicsStatus CairoGraphics::EncodePng(const Bitmap& image, std::vector<uint8_t>* out) const {
  return codecs::EncodePng(image, out);
}

}  // namespace platform
