// PosixPendingFile: exclusive temporary file, checked writes, fsync, rename or publish without replacing.
#include "platform/posix/posix_pending_file.h"

#include "platform/posix/file_primitives.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>

namespace platform {
namespace {

int SystemRenameNoReplace(const char* from, const char* to) {
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0 ? 0 : errno;
}

int SystemHardLink(const char* from, const char* to) { return ::link(from, to) == 0 ? 0 : errno; }

// The file system (or the kernel) does not offer the call at all, as opposed to refusing this rename.
bool Unsupported(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }
bool HardLinksRefused(int error) { return error == EPERM || error == ENOSYS || error == EOPNOTSUPP; }

// Renames `from` over `to` when `to` is missing, a regular file or a link (the link itself is replaced).
// A folder, FIFO or device at `to` is refused (EEXIST): rename would put the file in the place of
// /dev/null itself.
int ReplaceFileOrLink(const std::string& from, const std::string& to) {
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0 && !S_ISREG(info.st_mode) && !S_ISLNK(info.st_mode)) {
    return S_ISDIR(info.st_mode) ? EISDIR : EEXIST;
  }
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

}  // namespace

NoReplaceCalls SystemNoReplaceCalls() { return NoReplaceCalls{SystemRenameNoReplace, SystemHardLink}; }

int RenameWithoutReplacing(const std::string& from, const std::string& to, const NoReplaceCalls& calls) {
  int error = calls.rename_no_replace(from.c_str(), to.c_str());
  if (!Unsupported(error)) return error;
  error = calls.hard_link(from.c_str(), to.c_str());
  if (error == 0) {
    ::unlink(from.c_str());
    return 0;
  }
  if (!HardLinksRefused(error)) return error;
  struct stat info {};
  if (::lstat(to.c_str(), &info) == 0) return EEXIST;
  if (errno != ENOENT) return errno;
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

std::unique_ptr<PosixPendingFile> PosixPendingFile::Start(const std::string& folder, uint32_t mode,
                                                          const NoReplaceCalls& calls, int* error) {
  static std::atomic<unsigned long> counter{0};
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = 0;
  // Short, so that a final name of up to the folder's limit still leaves room for it; hidden, so that a
  // file browser does not show it while it grows.
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string temporary = folder + "/.pictavera-" + std::to_string(::getpid()) + "-" +
                                  std::to_string(counter.fetch_add(1) + 1) + ".tmp";
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd >= 0) return std::unique_ptr<PosixPendingFile>(new PosixPendingFile(folder, temporary, fd, calls));
    *error = errno;
    if (*error != EEXIST) return nullptr;  // left by a process that had the same id
  }
  return nullptr;
}

PosixPendingFile::PosixPendingFile(std::string folder, std::string temporary, int fd, const NoReplaceCalls& calls)
    : folder_(std::move(folder)), temporary_(std::move(temporary)), fd_(fd), calls_(calls) {}

PosixPendingFile::~PosixPendingFile() {
  if (!published_) Drop(0);
}

int PosixPendingFile::Drop(int error) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temporary_.empty()) ::unlink(temporary_.c_str());
  temporary_.clear();
  failed_ = true;
  return error;
}

int PosixPendingFile::Write(const uint8_t* bytes, size_t size) {
  if (failed_ || fd_ < 0) return EBADF;
  const int error = WriteAll(fd_, bytes, size);
  return error != 0 ? Drop(error) : 0;
}

int PosixPendingFile::Publish(const std::string& path, PublishMode mode) {
  if (failed_ || published_) return EBADF;
  if (FolderOfPath(path) != folder_) return Drop(EXDEV);
  if (!flushed_) {
    // Delayed allocation reports a full disk (or a lost NFS write) only here; a file that may be
    // incomplete never gets its final name.
    if (::fsync(fd_) != 0) return Drop(errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 && errno != EINTR) return Drop(errno);
    flushed_ = true;
  }
  const int error = mode == PublishMode::kReplace ? ReplaceFileOrLink(temporary_, path)
                                                  : RenameWithoutReplacing(temporary_, path, calls_);
  if (error == EEXIST && mode == PublishMode::kNoReplace) return EEXIST;
  if (error != 0) return Drop(error);
  published_ = true;
  temporary_.clear();
  return 0;
}

}  // namespace platform
