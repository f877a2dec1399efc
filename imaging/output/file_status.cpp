// FileStatus: the file seam's errno values as kinds, and their messages.
#include "imaging/output/file_status.h"

#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

namespace imaging {

base::Status::Code FileErrorKind(int error) {
  using Code = base::Status::Code;
  switch (error) {
    case 0: return Code::kOk;
    case ENOENT:
    case ENOTDIR: return Code::kNotFound;
    case EEXIST: return Code::kAlreadyExists;
    case EACCES:
    case EPERM:
    case EROFS:
    case ELOOP:
    case EISDIR: return Code::kAccessDenied;
    case EINVAL:
    case ENAMETOOLONG:
    case EXDEV: return Code::kInvalidArgument;
    case EFBIG: return Code::kTooLarge;
    case ENOMEM: return Code::kOutOfMemory;
    case ENOSYS: return Code::kUnsupported;
    default: return Code::kIoError;
  }
}

base::Status FileStatus(int error, std::string_view path) {
  if (error == 0) return base::Status::Ok();
  // The texts of known numbers are constant strings in glibc and the Windows runtime alike.
  return FileStatus(error, path, std::strerror(error));
}

base::Status FileStatus(int error, std::string_view path, std::string_view reason) {
  if (error == 0) return base::Status::Ok();
  std::string message(path);
  if (!message.empty()) message += ": ";
  bool full = error == ENOSPC;
#ifdef EDQUOT
  full = full || error == EDQUOT;
#endif
  if (full) {
    message += "disk full (";
    message += reason;
    message += ")";
  } else {
    message += reason;
  }
  return base::Status(FileErrorKind(error), std::move(message)).WithSystemError(error);
}

}  // namespace imaging
