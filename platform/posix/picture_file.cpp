// PictureFile: open(2) without blocking, fstat(2) for the type, pread(2) through a window.
#include "platform/posix/picture_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>

namespace platform {
namespace {

constexpr size_t kWindowBytes = 64 * 1024;

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

bool PictureFile::Fill(uint64_t offset) {
  window_.resize(kWindowBytes);
  window_start_ = offset;
  for (;;) {
    const ssize_t got = ::pread(fd_, window_.data(), kWindowBytes, static_cast<off_t>(offset));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      window_.clear();
      return false;
    }
    window_.resize(static_cast<size_t>(got));
    return true;
  }
}

int64_t PictureFile::ReadAt(uint64_t offset, size_t length, uint8_t* out) {
  if (offset > static_cast<uint64_t>(INT64_MAX) - kWindowBytes) return 0;
  size_t done = 0;
  while (done < length) {
    const uint64_t at = offset + done;
    if (at < window_start_ || at >= window_start_ + window_.size()) {
      if (!Fill(at)) return -1;
      if (window_.empty()) break;  // end of file
    }
    const size_t in_window = static_cast<size_t>(window_start_ + window_.size() - at);
    const size_t take = std::min(in_window, length - done);
    std::memcpy(out + done, window_.data() + (at - window_start_), take);
    done += take;
  }
  return static_cast<int64_t>(done);
}

ReadAtFunction PictureFile::Reader() {
  return [this](uint64_t offset, size_t length, uint8_t* out) { return ReadAt(offset, length, out); };
}

PictureFileError PictureFile::ReadAll(size_t max_bytes, std::vector<uint8_t>* bytes) {
  if (size_bytes_ > max_bytes) return PictureFileError::kTooLarge;
  try {
    bytes->resize(static_cast<size_t>(size_bytes_));
  } catch (const std::bad_alloc&) {
    return PictureFileError::kOutOfMemory;
  }
  size_t got = 0;
  while (got < bytes->size()) {
    const ssize_t n = ::pread(fd_, bytes->data() + got, bytes->size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return ErrorFor(errno);
    if (n == 0) break;  // the file shrank while it was read: what is there is all there is
    got += static_cast<size_t>(n);
  }
  bytes->resize(got);
  return PictureFileError::kNone;
}

}  // namespace platform
