// FakeFileSystem: files and folders in maps, with arranged failures.
#include "platform/fake/fake_file_system.h"

#include <errno.h>

#include <algorithm>

namespace platform {
namespace {

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos || slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

FakeFileSystem::FakeFileSystem() {
  folders_.insert("/");
  AddFoldersLocked(kDefaultTempFolder);
}

void FakeFileSystem::AddFoldersLocked(const std::string& path) {
  for (std::string folder = path; folder != "/" && !folder.empty(); folder = FolderOf(folder)) {
    folders_.insert(folder);
  }
}

std::optional<std::string> FakeFileSystem::TempFolder(int* error) {
  std::lock_guard lock(mutex_);
  if (error != nullptr) *error = temp_folder_error_;
  if (temp_folder_error_ != 0) return std::nullopt;
  AddFoldersLocked(kDefaultTempFolder);
  return std::string(kDefaultTempFolder);
}

int FakeFileSystem::CreateFolder(const std::string& path, uint32_t) {
  std::lock_guard lock(mutex_);
  if (write_error_ != 0) return write_error_;
  if (folders_.count(path) != 0 || files_.count(path) != 0) return EEXIST;
  if (!FolderExistsLocked(FolderOf(path))) return ENOENT;
  folders_.insert(path);
  return 0;
}

int FakeFileSystem::WriteLocked(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode,
                                bool may_replace, bool create_folders) {
  if (path.empty() || path.front() != '/') return ENOENT;
  if (create_folders) AddFoldersLocked(FolderOf(path));
  if (!FolderExistsLocked(FolderOf(path))) return ENOENT;
  if (folders_.count(path) != 0) return may_replace ? EISDIR : EEXIST;
  if (!may_replace && files_.count(path) != 0) return EEXIST;
  if (write_error_ != 0) return write_error_;
  files_[path] = File{bytes, mode};
  created_.push_back(path);
  return 0;
}

int FakeFileSystem::WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode) {
  std::lock_guard lock(mutex_);
  return WriteLocked(path, bytes, mode, false, false);
}

int FakeFileSystem::ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  return WriteLocked(path, bytes, 0600, true, true);
}

int FakeFileSystem::WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) {
  std::lock_guard lock(mutex_);
  return WriteLocked(path, bytes, 0644, true, false);
}

std::optional<std::vector<uint8_t>> FakeFileSystem::ReadFile(const std::string& path, size_t max_bytes, int* error) {
  std::lock_guard lock(mutex_);
  const auto found = files_.find(path);
  if (found == files_.end()) {
    if (error != nullptr) *error = folders_.count(path) != 0 ? EINVAL : ENOENT;
    return std::nullopt;
  }
  if (error != nullptr) *error = 0;
  const std::vector<uint8_t>& bytes = found->second.bytes;
  return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(std::min(max_bytes, bytes.size())));
}

int FakeFileSystem::RemoveFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (folders_.count(path) != 0) return EISDIR;
  return files_.erase(path) == 1 ? 0 : ENOENT;
}

bool FakeFileSystem::IsRegularFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  return files_.count(path) != 0;
}

std::optional<std::vector<std::string>> FakeFileSystem::OwnFiles(const std::string& folder, int* error) {
  std::lock_guard lock(mutex_);
  if (!FolderExistsLocked(folder)) {
    *error = ENOENT;
    return std::nullopt;
  }
  std::vector<std::string> names;
  const std::string prefix = folder + "/";
  for (const auto& [path, file] : files_) {
    if (path.compare(0, prefix.size(), prefix) == 0 && path.find('/', prefix.size()) == std::string::npos) {
      names.push_back(path.substr(prefix.size()));
    }
  }
  return names;
}

void FakeFileSystem::RefuseTempFolder(int error) {
  std::lock_guard lock(mutex_);
  temp_folder_error_ = error;
}

void FakeFileSystem::FailWritesWith(int error) {
  std::lock_guard lock(mutex_);
  write_error_ = error;
}

void FakeFileSystem::AddFile(const std::string& path, std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  AddFoldersLocked(FolderOf(path));
  files_[path] = File{std::move(bytes), 0644};
}

void FakeFileSystem::AddFolder(const std::string& path) {
  std::lock_guard lock(mutex_);
  AddFoldersLocked(path);
}

bool FakeFileSystem::Exists(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return files_.count(path) != 0 || folders_.count(path) != 0;
}

std::optional<std::vector<uint8_t>> FakeFileSystem::Contents(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto found = files_.find(path);
  if (found == files_.end()) return std::nullopt;
  return found->second.bytes;
}

std::vector<std::string> FakeFileSystem::Files() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> paths;
  for (const auto& [path, file] : files_) paths.push_back(path);
  return paths;
}

std::vector<std::string> FakeFileSystem::CreatedPaths() const {
  std::lock_guard lock(mutex_);
  return created_;
}

uint32_t FakeFileSystem::ModeOf(const std::string& path) const {
  std::lock_guard lock(mutex_);
  const auto found = files_.find(path);
  return found == files_.end() ? 0 : found->second.mode;
}

}  // namespace platform
