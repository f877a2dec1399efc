// FakeFileSystem: an in-memory FileSystem whose setup can arrange the failures of a real disk.
#pragma once

#include <map>
#include <mutex>
#include <set>

#include "platform/file_system.h"

namespace platform {

// Files and folders live in maps keyed by path. The root "/" and the temporary folder exist from the start;
// a file can only be created in a folder that exists.
// Thread safety: every method may be called from any thread at once.
class FakeFileSystem : public FileSystem {
 public:
  static constexpr const char* kDefaultTempFolder = "/fake-tmp/PictaVera_Temp";

  FakeFileSystem();

  std::optional<std::string> TempFolder(int* error) override;
  int CreateFolder(const std::string& path, uint32_t mode) override;
  int WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode = 0600) override;
  int ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) override;
  int WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) override;
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path, size_t max_bytes, int* error) override;
  int RemoveFile(const std::string& path) override;
  bool IsRegularFile(const std::string& path) override;
  std::optional<std::vector<std::string>> OwnFiles(const std::string& folder, int* error) override;

  // Setup.
  // TempFolder answers nothing with `error` (ELOOP, ENOTDIR, EPERM, ...) until called again with 0.
  void RefuseTempFolder(int error);
  // Every later write (new, replacing or in place) fails with `error` (ENOSPC: disk full) after creating
  // nothing, until called again with 0. Reads and removals still work.
  void FailWritesWith(int error);
  // Puts a file at `path` (creating the folders above it), as another program would.
  void AddFile(const std::string& path, std::vector<uint8_t> bytes);
  void AddFolder(const std::string& path);

  // Inspection.
  bool Exists(const std::string& path) const;
  std::optional<std::vector<uint8_t>> Contents(const std::string& path) const;
  // Every file path now present, sorted.
  std::vector<std::string> Files() const;
  // Every path ever created by a write through the port, in order (kept after removal).
  std::vector<std::string> CreatedPaths() const;
  uint32_t ModeOf(const std::string& path) const;

 private:
  int WriteLocked(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode, bool may_replace,
                  bool create_folders);
  bool FolderExistsLocked(const std::string& path) const { return folders_.count(path) != 0; }
  void AddFoldersLocked(const std::string& path);

  struct File {
    std::vector<uint8_t> bytes;
    uint32_t mode = 0600;
  };

  mutable std::mutex mutex_;
  std::map<std::string, File> files_;
  std::set<std::string> folders_;
  std::vector<std::string> created_;
  int temp_folder_error_ = 0;
  int write_error_ = 0;
};

}  // namespace platform
