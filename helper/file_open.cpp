// OpenFile on POSIX: paths are UTF-8 bytes already; only regular files are opened. Files are written
// through PosixFileCalls.
#include "helper/file_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <new>

#include "platform/posix/posix_file_calls.h"

namespace mosalith {

FilePtr OpenFile(const std::string& utf8_path, const char* mode) {
  const char* path = utf8_path.c_str();
  // Refused before opening: opening a FIFO blocks until the other end is opened.
  struct stat info {};
  if (::stat(path, &info) == 0 && !S_ISREG(info.st_mode)) return nullptr;

  // The path may change between the check and the open; a non-blocking open cannot hang on a FIFO put
  // there meanwhile, and the check is repeated on what was actually opened.
  const bool writing = mode[0] == 'w';
  const int flags = (writing ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY) | O_CLOEXEC | O_NONBLOCK;
  const int fd = ::open(path, flags, 0666);
  if (fd < 0) return nullptr;
  const int status_flags = ::fcntl(fd, F_GETFL);
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || status_flags < 0 ||
      ::fcntl(fd, F_SETFL, status_flags & ~O_NONBLOCK) != 0) {
    ::close(fd);
    return nullptr;
  }
  std::FILE* file = ::fdopen(fd, mode);
  if (file == nullptr) ::close(fd);
  return FilePtr(file);
}

bool ReadWholeFile(const std::string& utf8_path, std::vector<uint8_t>& bytes, int64_t max_bytes) {
  FilePtr file = OpenFile(utf8_path, "rb");
  if (!file) return false;
  struct stat info {};
  if (::fstat(::fileno(file.get()), &info) != 0 || info.st_size < 0 || info.st_size > max_bytes) return false;
  try {
    bytes.resize(static_cast<size_t>(info.st_size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  if (std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size()) return false;
  // A file that grew since fstat is read as it was then; one more byte read tells nothing useful.
  return true;
}

imaging::FileCalls& SystemFileCalls() {
  static platform::PosixFileCalls calls;
  return calls;
}

std::optional<FileId> IdentifyFile(const std::string& utf8_path) {
  struct stat info {};
  if (utf8_path.empty() || ::stat(utf8_path.c_str(), &info) != 0) return std::nullopt;
  return FileId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

}  // namespace mosalith
