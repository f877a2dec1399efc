// OpenPicture: PictureFile plus the one header reader.
#include "platform/posix/picture_open.h"

#include <algorithm>
#include <optional>
#include <utility>

#include "platform/picture/picture_header.h"
#include "platform/reduce.h"

namespace platform {

GraphicsStatus StatusFor(PictureFileError error, int error_number) {
  switch (error) {
    case PictureFileError::kNone: return GraphicsStatus::kOk;
    case PictureFileError::kNotFound: return GraphicsStatus::kFileNotFound;
    case PictureFileError::kDenied:
    case PictureFileError::kNotRegular: return GraphicsStatus::kAccessDenied;
    case PictureFileError::kTooLarge: return GraphicsStatus::kInvalidParameter;
    case PictureFileError::kOutOfMemory: return GraphicsStatus::kOutOfMemory;
    case PictureFileError::kIo: return StatusFromErrno(error_number);
  }
  return GraphicsStatus::kWin32Error;
}

GraphicsStatus OpenPicture(const std::string& path, std::unique_ptr<PictureFile>* file, ImageInfo* info) {
  PictureFileError error = PictureFileError::kNone;
  int error_number = 0;
  std::unique_ptr<PictureFile> opened = PictureFile::Open(path, &error, &error_number);
  if (!opened) return StatusFor(error, error_number);
  MetadataStatus status = MetadataStatus::kOk;
  const std::optional<PictureHeader> header = ReadPictureHeader(opened->Reader(), &status);
  if (!header) return status == MetadataStatus::kUnreadable ? GraphicsStatus::kWin32Error : GraphicsStatus::kUnknownImageFormat;
  info->format = header->format == PictureFormat::kJpeg ? ImageFormat::kJpeg : ImageFormat::kPng;
  info->width_px = header->width_px;
  info->height_px = header->height_px;
  info->orientation = header->orientation;
  info->resolution = header->resolution;
  *file = std::move(opened);
  return GraphicsStatus::kOk;
}

GraphicsStatus ReadPictureInfo(const std::string& path, ImageInfo* info) {
  std::unique_ptr<PictureFile> file;
  ImageInfo read;
  const GraphicsStatus status = OpenPicture(path, &file, &read);
  if (status == GraphicsStatus::kOk) *info = read;
  return status;
}

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

GraphicsStatus DecodePicture(const std::string& path, const DecodeOptions& options, const PixelDecoder& decode,
                             DecodedImage* out) {
  std::unique_ptr<PictureFile> file;
  DecodedImage decoded;
  GraphicsStatus status = OpenPicture(path, &file, &decoded.info);
  if (status != GraphicsStatus::kOk) return status;
  std::vector<uint8_t> bytes;
  const PictureFileError error = file->ReadAll(kMaxPictureFileBytes, &bytes);
  if (error != PictureFileError::kNone) return StatusFor(error, 0);
  file.reset();
  const int exact_width = options.exact_width_px, exact_height = options.exact_height_px;
  const bool exact = exact_width > 0 && exact_height > 0 && exact_width <= decoded.info.width_px &&
                     exact_height <= decoded.info.height_px;
  const PixelRequest request{bytes, decoded.info, exact ? exact_width : options.min_width_px,
                             exact ? exact_height : options.min_height_px, exact};
  status = decode(request, &decoded.bitmap);
  if (status != GraphicsStatus::kOk) return status;
  if (exact && (decoded.bitmap.width_px != exact_width || decoded.bitmap.height_px != exact_height)) {
    std::optional<Bitmap> reduced = ReduceBitmap(decoded.bitmap, exact_width, exact_height);
    if (!reduced) return GraphicsStatus::kOutOfMemory;
    decoded.bitmap = std::move(*reduced);
  }
  *out = std::move(decoded);
  return GraphicsStatus::kOk;
}

}  // namespace platform
