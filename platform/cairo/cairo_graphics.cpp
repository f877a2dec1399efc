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
  std::unique_ptr<PictureFile> file;
  ImageInfo read;
  const GraphicsStatus status = OpenPicture(path, &file, &read);
  if (status == GraphicsStatus::kOk) *info = read;
  return status;
}

GraphicsStatus CairoGraphics::Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out) const {
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
  if (decoded.info.format == ImageFormat::kJpeg) {
    status = exact ? codecs::DecodeJpeg(bytes, exact_width, exact_height, &decoded.bitmap, budget_)
                   : codecs::DecodeJpeg(bytes, options.min_width_px, options.min_height_px, &decoded.bitmap, budget_);
  } else if (exact) {
    status = codecs::DecodePngReduced(bytes, exact_width, exact_height, &decoded.bitmap, budget_);
  } else {
    // A PNG cannot be decoded at a smaller scale the way a JPEG can: when a smaller picture will do, it is
    // reduced as its rows are decoded, by the largest whole factor that still covers the size asked for.
    const int factor = options.min_width_px > 0 && options.min_height_px > 0
                           ? std::min(width / options.min_width_px, height / options.min_height_px)
                           : 1;
    status = factor >= 2 ? codecs::DecodePngReduced(bytes, (width + factor - 1) / factor,
                                                    (height + factor - 1) / factor, &decoded.bitmap, budget_)
                         : codecs::DecodePng(bytes, &decoded.bitmap, budget_);
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
