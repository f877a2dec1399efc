// Reading picture files: regular files only, bounded, and the format sniff.
#include <cerrno>
#include <cstring>
#include <new>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/cairo/codecs.h"

namespace platform::codecs {

GraphicsStatus ReadPictureFile(const std::string& path, std::vector<uint8_t>* bytes) {
  if (path.empty() || path.find('\0') != std::string::npos) return GraphicsStatus::kFileNotFound;
  // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer for ever.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return StatusFromErrno(errno);
  struct stat info {};
  GraphicsStatus status = GraphicsStatus::kOk;
  if (::fstat(fd, &info) != 0) {
    status = StatusFromErrno(errno);
  } else if (!S_ISREG(info.st_mode)) {
    status = GraphicsStatus::kAccessDenied;
  } else if (static_cast<uint64_t>(info.st_size) > kMaxFileBytes) {
    status = GraphicsStatus::kInvalidParameter;
  }
  if (status == GraphicsStatus::kOk) {
    try {
      bytes->resize(static_cast<size_t>(info.st_size));
    } catch (const std::bad_alloc&) {
      status = GraphicsStatus::kOutOfMemory;
    }
  }
  size_t got = 0;
  while (status == GraphicsStatus::kOk && got < bytes->size()) {
    const ssize_t n = ::read(fd, bytes->data() + got, bytes->size() - got);
    if (n < 0) {
      if (errno == EINTR) continue;
      status = StatusFromErrno(errno);
    } else if (n == 0) {
      bytes->resize(got);  // the file shrank while it was read: decode what is there
      break;
    } else {
      got += static_cast<size_t>(n);
    }
  }
  ::close(fd);
  return status;
}

ImageFormat SniffFormat(const std::vector<uint8_t>& bytes) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF) return ImageFormat::kJpeg;
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPng, 8) == 0) return ImageFormat::kPng;
  return ImageFormat::kUnknown;
}

}  // namespace platform::codecs
