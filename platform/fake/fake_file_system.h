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

  std::optional<std::string> TempFolder(int* error) override;
  int CreateFolder(const std::string& path, uint32_t mode) override;
  std::unique_ptr<PendingFile> StartFile(const std::string& folder, uint32_t mode, int* error) override;
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path, size_t max_bytes, int* error) override;
  int RemoveFile(const std::string& path) override;
  bool IsRegularFile(const std::string& path) override;
  std::optional<FileIdentity> IdentityOf(const std::string& path) override;
  PathKind KindAt(const std::string& path) override;
  std::optional<std::vector<std::string>> OwnFiles(const std::string& folder, int* error) override;

  // Setup.
  // TempFolder answers nothing with `error` (ELOOP, ENOTDIR, EPERM, ...) until called again with 0.
  void RefuseTempFolder(int error);
  // Every later write of bytes and every folder creation fails with `error` (ENOSPC: disk full), until
  // called again with 0. Starting a file, reads and removals still work.
  void FailWritesWith(int error);
  // Starting a file in `folder` fails with `error` (EACCES: an unwritable folder); 0 lifts it.
  void RefuseFolder(const std::string& folder, int error);
  // Every later publish fails with `error` (the pending file is removed), until called again with 0.
  void FailPublishWith(int error);
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
  std::map<std::string, int> refused_folders_;
  std::vector<std::string> created_;
  uint64_t next_inode_ = 1;
  int temp_folder_error_ = 0;
  int write_error_ = 0;
  int publish_error_ = 0;
};

}  // namespace platform
