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
#include "platform/reduce.h"
#include "platform/wic/wic_codecs.h"

namespace platform {

void DecodeSize(ImageFormat format, int width_px, int height_px, int min_width_px, int min_height_px,
                int* decode_width_px, int* decode_height_px) {
  *decode_width_px = width_px;
  *decode_height_px = height_px;
  if (min_width_px <= 0 || min_height_px <= 0) return;
  if (format == ImageFormat::kJpeg) {
    for (int eighths = 1; eighths < 8; ++eighths) {
      const int width = static_cast<int>((int64_t{width_px} * eighths + 7) / 8);
      const int height = static_cast<int>((int64_t{height_px} * eighths + 7) / 8);
      if (width >= min_width_px && height >= min_height_px) {
        *decode_width_px = width;
        *decode_height_px = height;
        return;
      }
    }
    return;
  }
  const int factor = std::min(width_px / min_width_px, height_px / min_height_px);
  if (factor >= 2) {
    *decode_width_px = (width_px + factor - 1) / factor;
    *decode_height_px = (height_px + factor - 1) / factor;
  }
}

GdiplusGraphics::GdiplusGraphics(MemoryBudget* budget, JpegDecoder jpeg) : budget_(budget), jpeg_(jpeg) {
  session_.Start();
}

GraphicsStatus GdiplusGraphics::ReadInfo(const std::string& path, ImageInfo* info) const {
  std::unique_ptr<PictureFile> file;
  ImageInfo read;
  const GraphicsStatus status = OpenPicture(path, &file, &read);
  if (status == GraphicsStatus::kOk) *info = read;
  return status;
}

GraphicsStatus GdiplusGraphics::Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out) const {
  std::unique_ptr<PictureFile> file;
  DecodedImage decoded;
  GraphicsStatus status = OpenPicture(path, &file, &decoded.info);
  if (status != GraphicsStatus::kOk) return status;
  std::vector<uint8_t> bytes;
  const PictureFileError error = file->ReadAll(kMaxPictureFileBytes, &bytes);
  if (error != PictureFileError::kNone) return StatusFor(error, 0);
  file.reset();
  const int width = decoded.info.width_px, height = decoded.info.height_px;
  const int exact_width = options.exact_width_px, exact_height = options.exact_height_px;
  const bool exact = exact_width > 0 && exact_height > 0 && exact_width <= width && exact_height <= height;
  const int min_width = exact ? exact_width : options.min_width_px;
  const int min_height = exact ? exact_height : options.min_height_px;
  if (decoded.info.format == ImageFormat::kJpeg && jpeg_ == JpegDecoder::kLibjpegTurbo) {
    status = codecs::DecodeJpeg(bytes, min_width, min_height, &decoded.bitmap, budget_);
  } else {
    int decode_width = width, decode_height = height;
    DecodeSize(decoded.info.format, width, height, min_width, min_height, &decode_width, &decode_height);
    status = wic::DecodeReduced(bytes, width, height, decode_width, decode_height, &decoded.bitmap, budget_);
  }
  if (status != GraphicsStatus::kOk) return status;
  if (exact && (decoded.bitmap.width_px != exact_width || decoded.bitmap.height_px != exact_height)) {
    std::optional<Bitmap> reduced = ReduceBitmap(decoded.bitmap, exact_width, exact_height);
    if (!reduced) return GraphicsStatus::kOutOfMemory;
    decoded.bitmap = std::move(*reduced);
  }
  *out = std::move(decoded);
  return GraphicsStatus::kOk;
}

std::unique_ptr<Canvas> GdiplusGraphics::CreateCanvas(int width_px, int height_px, GraphicsStatus* status) const {
  if (!session_.running()) {
    if (status) *status = GraphicsStatus::kGenericError;
    return nullptr;
  }
  return GdiplusCanvas::Create(width_px, height_px, status, budget_);
}

GraphicsStatus GdiplusGraphics::EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out,
                                           int density_dpi) const {
  return codecs::EncodeJpeg(image, quality, out, density_dpi);
}

GraphicsStatus GdiplusGraphics::EncodePng(const Bitmap& image, std::vector<uint8_t>* out) const {
  return wic::EncodePng(image, out);
}

}  // namespace platform
