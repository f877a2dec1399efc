// CairoGraphics: the Graphics port wired from the codec functions and the cairo canvas.
#include "platform/cairo/cairo_graphics.h"

#include <algorithm>

#include "platform/cairo/cairo_canvas.h"
#include "platform/cairo/codecs.h"
#include "platform/libexif/picture_header.h"

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
  // The stated resolution comes from the application's one header reader.
  const std::optional<PictureHeader> header =
      ReadPictureHeader([&bytes](uint64_t offset, size_t length, uint8_t* out) -> int64_t {
        if (offset >= bytes.size()) return 0;
        const size_t take = std::min<size_t>(length, bytes.size() - static_cast<size_t>(offset));
        std::copy_n(bytes.data() + offset, take, out);
        return static_cast<int64_t>(take);
      });
  if (header) result.resolution = header->resolution;
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
  status = decoded.info.format == ImageFormat::kJpeg
               ? codecs::DecodeJpeg(bytes, options.min_width_px, options.min_height_px, &decoded.bitmap)
               : codecs::DecodePng(bytes, &decoded.bitmap);
  if (status != GraphicsStatus::kOk) return status;
  *out = std::move(decoded);
  return GraphicsStatus::kOk;
}

std::unique_ptr<Canvas> CairoGraphics::CreateCanvas(int width_px, int height_px, GraphicsStatus* status) const {
  return CairoCanvas::Create(width_px, height_px, status);
}

GraphicsStatus CairoGraphics::EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out,
                                         int density_dpi) const {
  return codecs::EncodeJpeg(image, quality, out, density_dpi);
}

GraphicsStatus CairoGraphics::EncodePng(const Bitmap& image, std::vector<uint8_t>* out) const {
  return codecs::EncodePng(image, out);
}

}  // namespace platform
