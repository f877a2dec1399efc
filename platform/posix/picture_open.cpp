// OpenPicture: PictureFile plus the one header reader.
#include "platform/posix/picture_open.h"

#include <optional>
#include <utility>

#include "platform/picture/picture_header.h"

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

}  // namespace platform
