// PosixFileSystem: files and folders through open(2), rename(2), mkdir(2) and lstat(2).
#include "platform/posix/posix_file_system.h"

#include "platform/posix/file_primitives.h"

#include <errno.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace platform {
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

std::unique_ptr<PendingFile> PosixFileSystem::StartFile(const std::string& folder, uint32_t mode, int* error) {
  return StartFileByRule(calls_, folder, mode, error);
}

std::optional<std::vector<uint8_t>> PosixFileSystem::ReadFile(const std::string& path, size_t max_bytes, int* error) {
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  std::vector<uint8_t> bytes;
  *error = ReadFileStart(path, max_bytes, &bytes);
  if (*error != 0) return std::nullopt;
  return bytes;
}

int PosixFileSystem::RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0 ? 0 : errno; }

bool PosixFileSystem::IsRegularFile(const std::string& path) {
  struct stat info;
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

std::optional<FileIdentity> PosixFileSystem::IdentityOf(const std::string& path) {
  struct stat info;
  if (path.empty() || ::stat(path.c_str(), &info) != 0) return std::nullopt;
  return FileIdentity{static_cast<uint64_t>(info.st_dev), static_cast<uint64_t>(info.st_ino)};
}

PathKind PosixFileSystem::KindAt(const std::string& path) {
  struct stat info;
  if (::lstat(path.c_str(), &info) != 0) return PathKind::kMissing;
  if (S_ISLNK(info.st_mode)) return PathKind::kLink;
  if (S_ISDIR(info.st_mode)) return PathKind::kFolder;
  return S_ISREG(info.st_mode) ? PathKind::kFile : PathKind::kOther;
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
