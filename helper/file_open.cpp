// OpenFile on POSIX: paths are UTF-8 bytes already; only regular files are opened.
#include "helper/file_open.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <new>
#include <utility>

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

std::optional<OutputFile> OutputFile::Create(const std::string& utf8_path) {
  static std::atomic<unsigned long> counter{0};
  const size_t slash = utf8_path.rfind('/');
  const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : utf8_path.substr(0, slash);
  if (utf8_path.empty() || slash + 1 == utf8_path.size()) return std::nullopt;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temporary = folder + (folder == "/" ? "" : "/") + ".mosalith-" + std::to_string(::getpid()) +
                                  "-" + std::to_string(counter.fetch_add(1) + 1) + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd < 0) {
      if (errno == EEXIST) continue;  // left by a process that had the same id
      return std::nullopt;
    }
    std::FILE* file = ::fdopen(fd, "wb");
    if (file == nullptr) {
      ::close(fd);
      ::unlink(temporary.c_str());
      return std::nullopt;
    }
    return OutputFile(utf8_path, temporary, FilePtr(file));
  }
  return std::nullopt;
}

OutputFile::~OutputFile() {
  file_.reset();
  if (!temporary_path_.empty()) ::unlink(temporary_path_.c_str());
}

bool OutputFile::Commit() {
  if (!file_ || temporary_path_.empty()) return false;
  // A full disk can show only at the flush, the sync (delayed allocation) or the close.
  bool ok = std::fflush(file_.get()) == 0 && std::ferror(file_.get()) == 0 && ::fsync(::fileno(file_.get())) == 0;
  ok = std::fclose(file_.release()) == 0 && ok;
  // Only a file or a link is replaced: a device or FIFO at the name is not the user's picture to
  // overwrite (rename would put the sheet in the place of /dev/null itself), and a folder cannot be.
  struct stat existing {};
  if (ok && ::lstat(final_path_.c_str(), &existing) == 0) ok = S_ISREG(existing.st_mode) || S_ISLNK(existing.st_mode);
  ok = ok && ::rename(temporary_path_.c_str(), final_path_.c_str()) == 0;
  if (ok) temporary_path_.clear();
  return ok;  // the destructor removes the temporary file after a failure
}

std::optional<FileId> IdentifyFile(const std::string& utf8_path) {
  struct stat info {};
  if (utf8_path.empty() || ::stat(utf8_path.c_str(), &info) != 0) return std::nullopt;
  return FileId{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

}  // namespace mosalith
