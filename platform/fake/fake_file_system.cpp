// FakeFileSystem: files, folders and links in maps, with arranged failures.
#include "platform/fake/fake_file_system.h"

#include <errno.h>

#include <algorithm>
#include <functional>

namespace platform {

// A file being written: its bytes grow under its temporary name in the fake's map.
class FakeFileSystem::Pending : public PendingFile {
 public:
  Pending(FakeFileSystem& owner, std::string folder, std::string temporary)
      : owner_(owner), folder_(std::move(folder)), temporary_(std::move(temporary)) {}
  ~Pending() override {
    if (!temporary_.empty()) Drop(0);
  }

  int Write(const uint8_t* bytes, size_t size) override {
    if (temporary_.empty()) return EBADF;
    std::unique_lock lock(owner_.mutex_);
    if (owner_.write_error_ != 0) {
      const int error = owner_.write_error_;
      lock.unlock();
      return Drop(error);
    }
    std::vector<uint8_t>& stored = owner_.files_[temporary_].bytes;
    stored.insert(stored.end(), bytes, bytes + size);
    return 0;
  }

  int Publish(const std::string& path, PublishMode mode) override {
    if (temporary_.empty()) return EBADF;
    std::unique_lock lock(owner_.mutex_);
    int error = owner_.publish_error_;
    if (error == 0 && FolderOfPath(path) != folder_) error = EXDEV;
    if (error == 0 && owner_.folders_.count(path) != 0) error = EISDIR;
    if (error == 0 && mode == PublishMode::kNoReplace && owner_.TakenLocked(path)) return EEXIST;
    if (error != 0) {
      lock.unlock();
      return Drop(error);
    }
    // Like rename(2): a link at the name is replaced, never followed.
    owner_.links_.erase(path);
    owner_.files_[path] = std::move(owner_.files_[temporary_]);
    owner_.files_.erase(temporary_);
    owner_.created_.push_back(path);
    temporary_.clear();
    return 0;
  }

 private:
  int Drop(int error) {
    std::lock_guard lock(owner_.mutex_);
    owner_.files_.erase(temporary_);
    temporary_.clear();
    return error;
  }

  FakeFileSystem& owner_;
  std::string folder_;
  std::string temporary_;
};

FakeFileSystem::FakeFileSystem() {
  folders_.insert("/");
  AddFoldersLocked(kDefaultTempFolder);
}

void FakeFileSystem::AddFoldersLocked(const std::string& path) {
  for (std::string folder = path; folder != "/" && !folder.empty(); folder = FolderOfPath(folder)) {
    folders_.insert(folder);
  }
}

std::string FakeFileSystem::ResolveLocked(const std::string& path) const {
  std::string resolved = path;
  for (int hop = 0; hop < 8; ++hop) {
    const auto link = links_.find(resolved);
    if (link == links_.end()) return resolved;
    resolved = link->second;
  }
  return resolved;
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
  if (TakenLocked(path)) return EEXIST;
  if (!FolderExistsLocked(FolderOfPath(path))) return ENOENT;
  folders_.insert(path);
  return 0;
}

std::unique_ptr<PendingFile> FakeFileSystem::StartFile(const std::string& folder, uint32_t mode, int* error) {
  std::lock_guard lock(mutex_);
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = 0;
  const std::string real_folder = ResolveLocked(folder);
  const auto refused = refused_folders_.find(real_folder);
  if (refused != refused_folders_.end()) *error = refused->second;
  else if (folder.empty() || folder.front() != '/' || folders_.count(real_folder) == 0) *error = ENOENT;
  if (*error != 0) return nullptr;
  const std::string temporary = folder + "/.fake-" + std::to_string(next_inode_) + ".tmp";
  files_[temporary] = File{{}, mode, next_inode_++};
  return std::make_unique<Pending>(*this, folder, temporary);
}

std::optional<std::vector<uint8_t>> FakeFileSystem::ReadFile(const std::string& path, size_t max_bytes, int* error) {
  std::lock_guard lock(mutex_);
  const std::string resolved = ResolveLocked(path);
  const auto found = files_.find(resolved);
  if (found == files_.end()) {
    if (error != nullptr) *error = folders_.count(resolved) != 0 ? EINVAL : ENOENT;
    return std::nullopt;
  }
  if (error != nullptr) *error = 0;
  const std::vector<uint8_t>& bytes = found->second.bytes;
  const auto kept = static_cast<std::ptrdiff_t>(std::min(max_bytes, bytes.size()));
  return std::vector<uint8_t>(bytes.begin(), bytes.begin() + kept);
}

int FakeFileSystem::RemoveFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (folders_.count(path) != 0) return EISDIR;
  if (links_.erase(path) == 1) return 0;
  return files_.erase(path) == 1 ? 0 : ENOENT;
}

bool FakeFileSystem::IsRegularFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  return files_.count(ResolveLocked(path)) != 0;
}

std::optional<FileIdentity> FakeFileSystem::IdentityOf(const std::string& path) {
  std::lock_guard lock(mutex_);
  const std::string resolved = ResolveLocked(path);
  const auto found = files_.find(resolved);
  if (found != files_.end()) return FileIdentity{1, found->second.inode};
  if (folders_.count(resolved) != 0) return FileIdentity{1, std::hash<std::string>{}(resolved) | (uint64_t{1} << 63)};
  return std::nullopt;
}

PathKind FakeFileSystem::KindAt(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (links_.count(path) != 0) return PathKind::kLink;
  if (folders_.count(path) != 0) return PathKind::kFolder;
  return files_.count(path) != 0 ? PathKind::kFile : PathKind::kMissing;
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

void FakeFileSystem::RefuseFolder(const std::string& folder, int error) {
  std::lock_guard lock(mutex_);
  if (error == 0) refused_folders_.erase(folder);
  else refused_folders_[folder] = error;
}

void FakeFileSystem::FailPublishWith(int error) {
  std::lock_guard lock(mutex_);
  publish_error_ = error;
}

void FakeFileSystem::AddFile(const std::string& path, std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  AddFoldersLocked(FolderOfPath(path));
  links_.erase(path);
  files_[path] = File{std::move(bytes), 0644, next_inode_++};
}

void FakeFileSystem::AddFolder(const std::string& path) {
  std::lock_guard lock(mutex_);
  AddFoldersLocked(path);
}

void FakeFileSystem::AddLink(const std::string& path, const std::string& target) {
  std::lock_guard lock(mutex_);
  AddFoldersLocked(FolderOfPath(path));
  files_.erase(path);
  links_[path] = target;
}

bool FakeFileSystem::Exists(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return TakenLocked(path);
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
