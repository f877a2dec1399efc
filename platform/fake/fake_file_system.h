// FakeFileSystem: an in-memory FileSystem whose setup can arrange the failures of a real disk.
#pragma once

#include <map>
#include <mutex>
#include <set>

#include "platform/file_system.h"

namespace platform {

// Files, folders and symbolic links live in maps keyed by path. The root "/" and the temporary folder
// exist from the start; a file can only be started in a folder that exists. A pending file is visible
// under its temporary name (".fake-<n>.tmp" in its folder) while it is written, as on a real disk.
// Thread safety: every method may be called from any thread at once.
class FakeFileSystem : public FileSystem {
 public:
  static constexpr const char* kDefaultTempFolder = "/fake-tmp/PictaVera_Temp";

  FakeFileSystem();

  base::StatusOr<std::string> TempFolder() override;
  base::Status CreateFolder(const std::string& path, uint32_t mode) override;
  base::StatusOr<std::unique_ptr<PendingFile>> StartFile(const std::string& folder, uint32_t mode) override;
  base::StatusOr<std::vector<uint8_t>> ReadFile(const std::string& path, size_t max_bytes) override;
  base::Status RemoveFile(const std::string& path) override;
  bool IsRegularFile(const std::string& path) override;
  std::optional<FileIdentity> IdentityOf(const std::string& path) override;
  PathKind KindAt(const std::string& path) override;
  base::StatusOr<std::vector<std::string>> OwnFiles(const std::string& folder) override;

  // Setup. Each arranged failure is answered as given (WriteFile and WriteNewFile put the path before its
  // message), until called again with an ok status.
  // TempFolder fails with `status` (kAccessDenied: a link, a shared folder).
  void RefuseTempFolder(base::Status status);
  // Every later write of bytes and every folder creation fails with `status` (DiskFull(): a full disk).
  // Starting a file, reads and removals still work.
  void FailWritesWith(base::Status status);
  // Starting a file in `folder` fails with `status` (kAccessDenied: an unwritable folder).
  void RefuseFolder(const std::string& folder, base::Status status);
  // Every later publish fails with `status` (the pending file is removed).
  void FailPublishWith(base::Status status);
  // What a full disk answers on the real adapters: kIoError, "disk full" in the message.
  static base::Status DiskFull() { return base::Status::IoError("disk full"); }
  // Puts a file at `path` (creating the folders above it), as another program would.
  void AddFile(const std::string& path, std::vector<uint8_t> bytes);
  void AddFolder(const std::string& path);
  // A symbolic link at `path` to `target` (absolute), which need not exist.
  void AddLink(const std::string& path, const std::string& target);

  // Inspection (links at `path` are not followed).
  bool Exists(const std::string& path) const;
  std::optional<std::vector<uint8_t>> Contents(const std::string& path) const;
  // Every file path now present (pending ones under their temporary names), sorted.
  std::vector<std::string> Files() const;
  // Every final path ever published through the port, in order (kept after removal).
  std::vector<std::string> CreatedPaths() const;
  uint32_t ModeOf(const std::string& path) const;

 private:
  class Pending;
  struct File {
    std::vector<uint8_t> bytes;
    uint32_t mode = 0600;
    uint64_t inode = 0;
  };

  // The path with links followed (at most a few), as the system resolves it.
  std::string ResolveLocked(const std::string& path) const;
  void AddFoldersLocked(const std::string& path);
  bool FolderExistsLocked(const std::string& path) const { return folders_.count(ResolveLocked(path)) != 0; }
  bool TakenLocked(const std::string& path) const {
    return files_.count(path) != 0 || folders_.count(path) != 0 || links_.count(path) != 0;
  }

  mutable std::mutex mutex_;
  std::map<std::string, File> files_;
  std::set<std::string> folders_;
  std::map<std::string, std::string> links_;
  std::map<std::string, base::Status> refused_folders_;
  std::vector<std::string> created_;
  uint64_t next_inode_ = 1;
  base::Status temp_folder_error_;
  base::Status write_error_;
  base::Status publish_error_;
};

}  // namespace platform
