// GdiplusGraphics: the Graphics port wired from the picture file, the one header reader, WIC's decoder and
// PNG encoder, libjpeg-turbo's JPEG codec and the GDI+ canvas.
#include "platform/gdiplus/gdiplus_graphics.h"

#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <utility>

#include "platform/turbojpeg/turbojpeg_codec.h"
#include "platform/gdiplus/gdiplus_canvas.h"
#include "platform/posix/picture_open.h"
#include "imaging/reduce.h"
#include "platform/wic/wic_codecs.h"

namespace platform {

GdiplusGraphics::GdiplusGraphics(imaging::MemoryBudget* budget, JpegDecoder jpeg) : budget_(budget), jpeg_(jpeg) {
  session_.Start();
}

GraphicsStatus GdiplusGraphics::ReadInfo(const std::string& path, ImageInfo* info) const {
  return ReadPictureInfo(path, info);
}

GraphicsStatus GdiplusGraphics::Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out) const {
  return DecodePicture(path, options, [this](const PixelRequest& request, imaging::Bitmap* bitmap) {
    if (request.info.format == ImageFormat::kJpeg && jpeg_ == JpegDecoder::kLibjpegTurbo) {
      return codecs::DecodeJpeg(request.bytes, request.min_width_px, request.min_height_px, bitmap, budget_);
    }
    const int width = request.info.width_px, height = request.info.height_px;
    int decode_width = width, decode_height = height;
    DecodeSize(request.info.format, width, height, request.min_width_px, request.min_height_px, &decode_width,
               &decode_height);
    return wic::DecodeReduced(request.bytes, width, height, decode_width, decode_height, bitmap, budget_);
  }, out);
}

std::unique_ptr<Canvas> GdiplusGraphics::CreateCanvas(int width_px, int height_px, GraphicsStatus* status) const {
  if (!session_.running()) {
    if (status) *status = GraphicsStatus::kGenericError;
    return nullptr;
  }
  return GdiplusCanvas::Create(width_px, height_px, status, budget_);
}

GraphicsStatus GdiplusGraphics::EncodeJpeg(const imaging::Bitmap& image, int quality, std::vector<uint8_t>* out,
                                           int density_dpi) const {
  return codecs::EncodeJpeg(image, quality, out, density_dpi);
}

GraphicsStatus GdiplusGraphics::EncodePng(const imaging::Bitmap& image, std::vector<uint8_t>* out) const {
  return wic::EncodePng(image, out);
}

}  // namespace platform
