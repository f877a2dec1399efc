// PosixFileCalls: exclusive creation, whole writes, fsync, and renames with or without replacing.
#include "platform/posix/posix_file_calls.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

int SystemRenameNoReplace(const char* from, const char* to) {
  return ::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0 ? 0 : errno;
}

int SystemHardLink(const char* from, const char* to) { return ::link(from, to) == 0 ? 0 : errno; }

// The file system (or the kernel) does not offer the call at all, as opposed to refusing this rename.
bool Unsupported(int error) { return error == EINVAL || error == ENOSYS || error == EOPNOTSUPP; }
bool HardLinksRefused(int error) { return error == EPERM || error == ENOSYS || error == EOPNOTSUPP; }

int Descriptor(imaging::FileCalls::Handle handle) { return static_cast<int>(handle); }

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

long PosixFileCalls::ProcessId() const { return static_cast<long>(::getpid()); }

int PosixFileCalls::CreateNew(const std::string& path, uint32_t mode, Handle* handle) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return errno;
  *handle = fd;
  return 0;
}

int PosixFileCalls::Write(Handle handle, const uint8_t* bytes, size_t size) {
  while (size > 0) {
    const ssize_t written = ::write(Descriptor(handle), bytes, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    bytes += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

int PosixFileCalls::SyncAndClose(Handle handle) {
  const int synced = ::fsync(Descriptor(handle)) == 0 ? 0 : errno;
  // After EINTR the descriptor is closed all the same on Linux; retrying could close another one.
  const int closed = ::close(Descriptor(handle)) == 0 || errno == EINTR ? 0 : errno;
  return synced != 0 ? synced : closed;
}

void PosixFileCalls::Close(Handle handle) { ::close(Descriptor(handle)); }

imaging::EntryKind PosixFileCalls::KindAt(const std::string& path) {
  struct stat info {};
  if (::lstat(path.c_str(), &info) != 0) return imaging::EntryKind::kMissing;
  if (S_ISREG(info.st_mode)) return imaging::EntryKind::kFile;
  if (S_ISLNK(info.st_mode)) return imaging::EntryKind::kLink;
  if (S_ISDIR(info.st_mode)) return imaging::EntryKind::kFolder;
  return imaging::EntryKind::kOther;
}

int PosixFileCalls::Replace(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0 ? 0 : errno;
}

int PosixFileCalls::RenameNoReplace(const std::string& from, const std::string& to) {
  return RenameWithoutReplacing(from, to, no_replace_);
}

int PosixFileCalls::Remove(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

}  // namespace platform
