// FakeFileSystem: files, folders and links in maps, with arranged failures.
#include "platform/fake/fake_file_system.h"

#include <algorithm>
#include <functional>
#include <utility>

namespace platform {

// A file being written: its bytes grow under its temporary name in the fake's map.
class FakeFileSystem::Pending : public PendingFile {
 public:
  Pending(FakeFileSystem& owner, std::string folder, std::string temporary)
      : owner_(owner), folder_(std::move(folder)), temporary_(std::move(temporary)) {}
  ~Pending() override {
    if (!temporary_.empty()) (void)Drop(base::Status::Ok());
  }

  base::Status Write(const uint8_t* bytes, size_t size) override {
    if (temporary_.empty()) return base::Status::IoError(folder_ + ": the file was dropped");
    std::unique_lock lock(owner_.mutex_);
    if (!owner_.write_error_.ok()) {
      const base::Status failed = owner_.write_error_;
      lock.unlock();
      return Drop(failed);
    }
    std::vector<uint8_t>& stored = owner_.files_[temporary_].bytes;
    stored.insert(stored.end(), bytes, bytes + size);
    return base::Status::Ok();
  }

  base::Status Publish(const std::string& path, PublishMode mode) override {
    if (temporary_.empty()) return base::Status::IoError(folder_ + ": the file was dropped");
    if (FolderOfPath(path) != folder_) return base::Status::InvalidArgument(path + ": not in " + folder_);
    std::unique_lock lock(owner_.mutex_);
    base::Status failed = owner_.publish_error_;
    if (failed.ok() && owner_.folders_.count(path) != 0) failed = base::Status::AccessDenied(path + ": a folder");
    if (failed.ok() && mode == PublishMode::kNoReplace && owner_.TakenLocked(path)) {
      return base::Status::AlreadyExists(path);
    }
    if (!failed.ok()) {
      lock.unlock();
      return Drop(failed);
    }
    // Like rename(2): a link at the name is replaced, never followed.
    owner_.links_.erase(path);
    owner_.files_[path] = std::move(owner_.files_[temporary_]);
    owner_.files_.erase(temporary_);
    owner_.created_.push_back(path);
    temporary_.clear();
    return base::Status::Ok();
  }

 private:
  base::Status Drop(base::Status failure) {
    std::lock_guard lock(owner_.mutex_);
    owner_.files_.erase(temporary_);
    temporary_.clear();
    return failure;
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

base::StatusOr<std::string> FakeFileSystem::TempFolder() {
  std::lock_guard lock(mutex_);
  if (!temp_folder_error_.ok()) return temp_folder_error_;
  AddFoldersLocked(kDefaultTempFolder);
  return std::string(kDefaultTempFolder);
}

base::Status FakeFileSystem::CreateFolder(const std::string& path, uint32_t) {
  std::lock_guard lock(mutex_);
  if (!write_error_.ok()) return write_error_;
  if (TakenLocked(path)) return base::Status::AlreadyExists(path);
  if (!FolderExistsLocked(FolderOfPath(path))) return base::Status::NotFound(path + ": no folder above it");
  folders_.insert(path);
  return base::Status::Ok();
}

base::StatusOr<std::unique_ptr<PendingFile>> FakeFileSystem::StartFile(const std::string& folder, uint32_t mode) {
  std::lock_guard lock(mutex_);
  const std::string real_folder = ResolveLocked(folder);
  const auto refused = refused_folders_.find(real_folder);
  if (refused != refused_folders_.end()) return refused->second;
  if (folder.empty() || folder.front() != '/' || folders_.count(real_folder) == 0) {
    return base::Status::NotFound(folder + ": no such folder");
  }
  const std::string temporary = folder + "/.fake-" + std::to_string(next_inode_) + ".tmp";
  files_[temporary] = File{{}, mode, next_inode_++};
  return std::unique_ptr<PendingFile>(std::make_unique<Pending>(*this, folder, temporary));
}

base::StatusOr<std::vector<uint8_t>> FakeFileSystem::ReadFile(const std::string& path, size_t max_bytes) {
  std::lock_guard lock(mutex_);
  const std::string resolved = ResolveLocked(path);
  const auto found = files_.find(resolved);
  if (found == files_.end()) {
    if (folders_.count(resolved) != 0) return base::Status::AccessDenied(path + ": not a regular file");
    return base::Status::NotFound(path);
  }
  const std::vector<uint8_t>& bytes = found->second.bytes;
  const auto kept = static_cast<std::ptrdiff_t>(std::min(max_bytes, bytes.size()));
  return std::vector<uint8_t>(bytes.begin(), bytes.begin() + kept);
}

base::Status FakeFileSystem::RemoveFile(const std::string& path) {
  std::lock_guard lock(mutex_);
  if (folders_.count(path) != 0) return base::Status::AccessDenied(path + ": a folder");
  if (links_.erase(path) == 1 || files_.erase(path) == 1) return base::Status::Ok();
  return base::Status::NotFound(path);
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

base::StatusOr<std::vector<std::string>> FakeFileSystem::OwnFiles(const std::string& folder) {
  std::lock_guard lock(mutex_);
  if (!FolderExistsLocked(folder)) return base::Status::NotFound(folder + ": no such folder");
  std::vector<std::string> names;
  const std::string prefix = folder + "/";
  for (const auto& [path, file] : files_) {
    if (path.compare(0, prefix.size(), prefix) == 0 && path.find('/', prefix.size()) == std::string::npos) {
      names.push_back(path.substr(prefix.size()));
    }
  }
  return names;
}

void FakeFileSystem::RefuseTempFolder(base::Status status) {
  std::lock_guard lock(mutex_);
  temp_folder_error_ = std::move(status);
}

void FakeFileSystem::FailWritesWith(base::Status status) {
  std::lock_guard lock(mutex_);
  write_error_ = std::move(status);
}

void FakeFileSystem::RefuseFolder(const std::string& folder, base::Status status) {
  std::lock_guard lock(mutex_);
  if (status.ok()) refused_folders_.erase(folder);
  else refused_folders_[folder] = std::move(status);
}

void FakeFileSystem::FailPublishWith(base::Status status) {
  std::lock_guard lock(mutex_);
  publish_error_ = std::move(status);
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
