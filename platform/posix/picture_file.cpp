// PictureFile: open(2) without blocking, fstat(2) for the type, pread(2) for its reads.
#include "platform/portable/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace platform {
namespace {

PictureFileError ErrorFor(int error_number) {
  switch (error_number) {
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
      return PictureFileError::kNotFound;
    case EACCES:
    case EPERM:
      return PictureFileError::kDenied;
    case ENOMEM:
      return PictureFileError::kOutOfMemory;
    default:
      return PictureFileError::kIo;
  }
}

}  // namespace

std::unique_ptr<PictureFile> PictureFile::Open(const std::string& path, PictureFileError* error, int* error_number) {
  auto fail = [&](PictureFileError why, int number) -> std::unique_ptr<PictureFile> {
    if (error) *error = why;
    if (error_number) *error_number = number;
    return nullptr;
  };
  if (path.empty() || path.find('\0') != std::string::npos) return fail(PictureFileError::kNotFound, ENOENT);
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    const int number = errno;
    return fail(ErrorFor(number), number);
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    const int number = errno;
    ::close(fd);
    return fail(ErrorFor(number), number);
  }
  if (!S_ISREG(info.st_mode)) {
    ::close(fd);
    return fail(PictureFileError::kNotRegular, 0);
  }
  if (error) *error = PictureFileError::kNone;
  if (error_number) *error_number = 0;
  return std::unique_ptr<PictureFile>(new PictureFile(fd, static_cast<uint64_t>(info.st_size)));
}

PictureFile::~PictureFile() { ::close(fd_); }

int64_t PictureFile::ReadRaw(uint64_t offset, size_t length, uint8_t* out, PictureFileError* error) {
  for (;;) {
    const ssize_t got = ::pread(fd_, out, length, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) *error = ErrorFor(errno);
    return got;
  }
}

}  // namespace platform
