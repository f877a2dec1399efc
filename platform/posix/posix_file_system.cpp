// PosixFileSystem: files and folders through open(2), rename(2), mkdir(2) and lstat(2).
#include "platform/posix/posix_file_system.h"

#include "imaging/output/file_status.h"
#include "platform/posix/file_primitives.h"

#include <errno.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <utility>

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

base::StatusOr<std::string> PosixFileSystem::TempFolder() {
  const char* chosen = fixed_temp_folder_ ? fixed_temp_folder_->c_str() : std::getenv("PICTAVERA_TEMP_DIR");
  std::optional<std::string> folder =
      fixed_temp_folder_ ? ResolveTempFolder(chosen, nullptr, ::geteuid())
                         : ResolveTempFolder(chosen, std::getenv("TMPDIR"), ::geteuid());
  if (!folder) return base::Status::InvalidArgument("temporary folder not an absolute path");
  if (::mkdir(folder->c_str(), 0700) != 0 && errno != EEXIST) return imaging::FileStatus(errno, *folder);
  // Checked whether it was just made or already there: another user may have planted a folder or a link
  // at this predictable name, and files are created inside it under predictable names too.
  struct stat info;
  if (::lstat(folder->c_str(), &info) != 0) return imaging::FileStatus(errno, *folder);
  if (S_ISLNK(info.st_mode)) return base::Status::AccessDenied(*folder + ": a link, not a folder").WithSystemError(ELOOP);
  if (!S_ISDIR(info.st_mode)) return base::Status::AccessDenied(*folder + ": not a folder").WithSystemError(ENOTDIR);
  if (info.st_uid != ::geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return base::Status::AccessDenied(*folder + ": not this user's own folder").WithSystemError(EPERM);
  }
  return std::move(*folder);
}

base::Status PosixFileSystem::CreateFolder(const std::string& path, uint32_t mode) {
  return ::mkdir(path.c_str(), mode) == 0 ? base::Status::Ok() : imaging::FileStatus(errno, path);
}

base::StatusOr<std::unique_ptr<PendingFile>> PosixFileSystem::StartFile(const std::string& folder, uint32_t mode) {
  return StartFileByRule(calls_, folder, mode);
}

base::StatusOr<std::vector<uint8_t>> PosixFileSystem::ReadFile(const std::string& path, size_t max_bytes) {
  std::vector<uint8_t> bytes;
  const int error = ReadFileStart(path, max_bytes, &bytes);
  // The primitive's EINVAL is its refusal of what is not a regular file.
  if (error == EINVAL) return base::Status::AccessDenied(path + ": not a regular file").WithSystemError(EINVAL);
  if (error != 0) return imaging::FileStatus(error, path);
  return bytes;
}

base::Status PosixFileSystem::RemoveFile(const std::string& path) {
  return ::unlink(path.c_str()) == 0 ? base::Status::Ok() : imaging::FileStatus(errno, path);
}

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

base::StatusOr<std::vector<std::string>> PosixFileSystem::OwnFiles(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  DIR* listing = fd >= 0 ? ::fdopendir(fd) : nullptr;
  if (listing == nullptr) {
    const base::Status failed = imaging::FileStatus(errno, folder);
    if (fd >= 0) ::close(fd);
    return failed;
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
