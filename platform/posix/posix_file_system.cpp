// PosixFileSystem: files and folders through open(2), rename(2), mkdir(2) and lstat(2).
#include "platform/posix/posix_file_system.h"

#include <errno.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>

namespace platform {
namespace {

// Writes all of `bytes` to `fd`, retrying interrupted and partial writes. 0 or the errno value.
int WriteAll(int fd, const std::vector<uint8_t>& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t written = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    done += static_cast<size_t>(written);
  }
  return 0;
}

// Creates `path` (never replacing, never following a link), writes `bytes`, optionally syncs, closes.
// Removes the file on any failure after creation.
int CreateAndWrite(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode, bool sync) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
  if (fd < 0) return errno;
  int error = WriteAll(fd, bytes);
  if (error == 0 && sync && ::fsync(fd) != 0) error = errno;
  // close can report a delayed write error (NFS, quotas); a file that may be incomplete is not kept.
  if (::close(fd) != 0 && error == 0 && errno != EINTR) error = errno;
  if (error != 0) ::unlink(path.c_str());
  return error;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

// A name beside `path` that no other writer of this process or another picks at the same time.
std::string SiblingTempName(const std::string& path) {
  static std::atomic<unsigned long> counter{0};
  return path + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter.fetch_add(1) + 1);
}

// Writes `bytes` under a fresh name beside `path` and renames it over `path`.
int WriteThroughRename(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    const std::string temporary = SiblingTempName(path);
    const int error = CreateAndWrite(temporary, bytes, mode, true);
    if (error == EEXIST) continue;
    if (error != 0) return error;
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
      const int rename_error = errno;
      ::unlink(temporary.c_str());
      return rename_error;
    }
    return 0;
  }
  return EEXIST;
}

// mkdir -p with `mode` for every missing folder above and including `folder`.
int CreateFolders(const std::string& folder, uint32_t mode) {
  if (folder.empty() || folder == "/" || folder == ".") return 0;
  struct stat info;
  if (::stat(folder.c_str(), &info) == 0) return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
  if (const int error = CreateFolders(FolderOf(folder), mode); error != 0) return error;
  if (::mkdir(folder.c_str(), mode) != 0 && errno != EEXIST) return errno;
  return 0;
}

}  // namespace

std::optional<std::string> ResolveTempFolder(const char* pictavera_temp_dir, const char* tmpdir, unsigned uid) {
  std::string folder;
  if (pictavera_temp_dir != nullptr && *pictavera_temp_dir != '\0') {
    folder = pictavera_temp_dir;
  } else {
    folder = (tmpdir != nullptr && *tmpdir != '\0') ? tmpdir : "/tmp";
    while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    folder += "/PictaVera_Temp-" + std::to_string(uid);
  }
  if (folder.empty() || folder.front() != '/') return std::nullopt;
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

std::optional<std::string> PosixFileSystem::TempFolder(int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = 0;
  std::optional<std::string> folder =
      fixed_temp_folder_ ? ResolveTempFolder(fixed_temp_folder_->c_str(), nullptr, ::geteuid())
                         : ResolveTempFolder(std::getenv("PICTAVERA_TEMP_DIR"), std::getenv("TMPDIR"), ::geteuid());
  if (!folder) {
    *error = EINVAL;
    return std::nullopt;
  }
  if (::mkdir(folder->c_str(), 0700) != 0 && errno != EEXIST) {
    *error = errno;
    return std::nullopt;
  }
  // Checked whether it was just made or already there: another user may have planted a folder or a link
  // at this predictable name, and files are created inside it under predictable names too.
  struct stat info;
  if (::lstat(folder->c_str(), &info) != 0) {
    *error = errno;
    return std::nullopt;
  }
  if (S_ISLNK(info.st_mode)) *error = ELOOP;
  else if (!S_ISDIR(info.st_mode)) *error = ENOTDIR;
  else if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) *error = EPERM;
  if (*error != 0) return std::nullopt;
  return folder;
}

int PosixFileSystem::CreateFolder(const std::string& path, uint32_t mode) {
  return ::mkdir(path.c_str(), mode) == 0 ? 0 : errno;
}

int PosixFileSystem::WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode) {
  return CreateAndWrite(path, bytes, mode, false);
}

int PosixFileSystem::ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  if (const int error = CreateFolders(FolderOf(path), 0700); error != 0) return error;
  return WriteThroughRename(path, bytes, 0600);
}

int PosixFileSystem::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  return WriteThroughRename(path, bytes, 0644);
}

std::optional<std::vector<uint8_t>> PosixFileSystem::ReadFile(const std::string& path, size_t max_bytes, int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = 0;
  // O_NONBLOCK so that opening a FIFO does not wait for a writer; it is refused below as not regular.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) {
    *error = errno;
    return std::nullopt;
  }
  std::vector<uint8_t> bytes;
  struct stat info;
  if (::fstat(fd, &info) != 0) {
    *error = errno;
  } else if (!S_ISREG(info.st_mode)) {
    *error = EINVAL;
  } else {
    const size_t expected = static_cast<size_t>(info.st_size) < max_bytes ? static_cast<size_t>(info.st_size) : max_bytes;
    bytes.reserve(expected);
    uint8_t chunk[65536];
    while (bytes.size() < max_bytes) {
      const size_t want = std::min(sizeof chunk, max_bytes - bytes.size());
      const ssize_t got = ::read(fd, chunk, want);
      if (got < 0) {
        if (errno == EINTR) continue;
        *error = errno;
        break;
      }
      if (got == 0) break;
      bytes.insert(bytes.end(), chunk, chunk + got);
    }
  }
  ::close(fd);
  if (*error != 0) return std::nullopt;
  return bytes;
}

int PosixFileSystem::RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

bool PosixFileSystem::IsRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<std::vector<std::string>> PosixFileSystem::OwnFiles(const std::string& folder, int* error) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
  if (listing == nullptr) {
    *error = errno;
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  std::vector<std::string> names;
  const uid_t self = ::geteuid();
  while (const dirent* entry = ::readdir(listing)) {
    struct stat info {};
    if (::fstatat(fd, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISREG(info.st_mode) && info.st_uid == self) names.emplace_back(entry->d_name);
  }
  ::closedir(listing);
  return names;
}

}  // namespace platform
