// OpenPicture and DecodePictureFile: PictureFile plus the image core.
#include "platform/portable/picture_open.h"

#include <optional>
#include <utility>
#include <vector>

#include "imaging/output/file_status.h"

namespace platform {
namespace {

base::Status FileFailure(PictureFileError error) {
  switch (error) {
    case PictureFileError::kNotFound: return base::Status::NotFound(ReasonFor(error));
    case PictureFileError::kDenied:
    case PictureFileError::kNotRegular: return base::Status::AccessDenied(ReasonFor(error));
    case PictureFileError::kTooLarge: return base::Status::TooLarge(ReasonFor(error));
    case PictureFileError::kOutOfMemory: return base::Status::OutOfMemory(ReasonFor(error));
    default: return base::Status::IoError(ReasonFor(error));
  }
}

ImageInfo InfoOf(const imaging::PictureInfo& picture) {
  ImageInfo info;
  info.format = picture.format;
  info.width_px = picture.width_px;
  info.height_px = picture.height_px;
  info.orientation = picture.orientation;
  info.resolution = picture.resolution;
  return info;
}

GraphicsStatus Fail(const base::Status& status, std::string* reason) {
  if (reason) *reason = status.message();
  return StatusFor(status);
}

}  // namespace

GraphicsStatus StatusFor(PictureFileError error, int error_number) {
  switch (error) {
    case PictureFileError::kNone: return GraphicsStatus::kOk;
    case PictureFileError::kNotFound: return GraphicsStatus::kNotFound;
    case PictureFileError::kDenied:
    case PictureFileError::kNotRegular: return GraphicsStatus::kAccessDenied;
    case PictureFileError::kTooLarge: return GraphicsStatus::kInvalidArgument;
    case PictureFileError::kOutOfMemory: return GraphicsStatus::kOutOfMemory;
    case PictureFileError::kIo: return imaging::FileErrorKind(error_number);
  }
  return GraphicsStatus::kIoError;
}

std::string ReasonFor(PictureFileError error) {
  switch (error) {
    case PictureFileError::kNone: return "";
    case PictureFileError::kNotFound: return "file not found";
    case PictureFileError::kDenied: return "access denied";
    case PictureFileError::kNotRegular: return "not a regular file";
    case PictureFileError::kTooLarge: return "too large";
    case PictureFileError::kOutOfMemory: return "out of memory";
    case PictureFileError::kIo: break;
  }
  return "read error";
}

GraphicsStatus StatusFor(const base::Status& status) {
  using Code = base::Status::Code;
  switch (status.code()) {
    case Code::kOk: return GraphicsStatus::kOk;
    case Code::kNotFound: return GraphicsStatus::kNotFound;
    case Code::kAccessDenied: return GraphicsStatus::kAccessDenied;
    case Code::kUnsupported: return GraphicsStatus::kUnsupported;
    case Code::kCorrupt: return GraphicsStatus::kCorrupt;
    case Code::kTooLarge:
    case Code::kInvalidArgument: return GraphicsStatus::kInvalidArgument;
    case Code::kOutOfMemory: return GraphicsStatus::kOutOfMemory;
    case Code::kIoError: return GraphicsStatus::kIoError;
    default: return GraphicsStatus::kFailed;
  }
}

base::StatusOr<imaging::PictureInfo> OpenPicture(const std::string& path, std::unique_ptr<PictureFile>* file) {
  PictureFileError error = PictureFileError::kNone;
  std::unique_ptr<PictureFile> opened = PictureFile::Open(path, &error);
  if (!opened) return FileFailure(error);
  base::StatusOr<imaging::PictureInfo> info = imaging::ReadPictureInfo(opened->Reader(), opened->size_bytes());
  if (info.ok()) *file = std::move(opened);
  return info;
}

GraphicsStatus ReadPictureInfo(const std::string& path, ImageInfo* info, std::string* reason) {
  std::unique_ptr<PictureFile> file;
  const base::StatusOr<imaging::PictureInfo> read = OpenPicture(path, &file);
  if (!read.ok()) return Fail(read.status(), reason);
  *info = InfoOf(*read);
  return GraphicsStatus::kOk;
}

GraphicsStatus DecodePictureFile(const std::string& path, const DecodeOptions& options, imaging::MemoryBudget* budget,
                                 DecodedImage* out, std::string* reason) {
  PictureFileError error = PictureFileError::kNone;
  std::unique_ptr<PictureFile> file = PictureFile::Open(path, &error);
  if (!file) return Fail(FileFailure(error), reason);
  // The file's bytes are held while it decodes: they draw on the budget as the pixels do.
  std::optional<imaging::MemoryHold> file_memory = imaging::MemoryHold::Take(budget, file->size_bytes());
  if (!file_memory) return Fail(base::Status::OutOfMemory("out of memory"), reason);
  std::vector<uint8_t> bytes;
  error = file->ReadAll(kMaxPictureFileBytes, &bytes);
  if (error != PictureFileError::kNone) return Fail(FileFailure(error), reason);
  file.reset();
  imaging::DecodeRequest request;
  request.purpose = options.purpose;
  request.min_width_px = options.min_width_px;
  request.min_height_px = options.min_height_px;
  request.exact_width_px = options.exact_width_px;
  request.exact_height_px = options.exact_height_px;
  base::StatusOr<imaging::DecodedPicture> decoded = imaging::DecodePicture(bytes.data(), bytes.size(), request, budget);
  if (!decoded.ok()) return Fail(decoded.status(), reason);
  out->bitmap = std::move(decoded->bitmap);
  out->info = InfoOf(decoded->info);
  out->colour = std::move(decoded->colour);
  out->damaged = decoded->damaged;
  return GraphicsStatus::kOk;
}

}  // namespace platform
