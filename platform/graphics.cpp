// The Graphics port's shared pieces that need no library.
#include "platform/graphics.h"

#include <cerrno>

namespace platform {

GraphicsStatus StatusFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return GraphicsStatus::kFileNotFound;
    case EACCES:
    case EPERM:
      return GraphicsStatus::kAccessDenied;
    case ENOMEM:
      return GraphicsStatus::kOutOfMemory;
    default:
      return GraphicsStatus::kWin32Error;
  }
}

}  // namespace platform
