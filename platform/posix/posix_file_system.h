// PosixFileSystem: the FileSystem port over POSIX calls (open with O_EXCL | O_NOFOLLOW, rename, lstat).
#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"

namespace platform {

// Where the temporary folder is, from the values of $PICTAVERA_TEMP_DIR and $TMPDIR (null or empty =
// unset) and the effective user id: the first variable, else ${TMPDIR:-/tmp}/PictaVera_Temp-<uid>, with
// trailing '/' removed. Nothing when the chosen value is not an absolute path.
std::optional<std::string> ResolveTempFolder(const char* pictavera_temp_dir, const char* tmpdir, unsigned uid);

// Thread safety: every method may be called from any thread at once.
class PosixFileSystem : public FileSystem {
 public:
  // The temporary folder comes from the environment, read on every call.
  PosixFileSystem() = default;
  // The temporary folder is `temp_folder` (absolute), checked and created like the environment's.
  explicit PosixFileSystem(std::string temp_folder) : fixed_temp_folder_(std::move(temp_folder)) {}

  std::optional<std::string> TempFolder(int* error) override;
  int CreateFolder(const std::string& path, uint32_t mode) override;
  int WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode = 0600) override;
  int ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) override;
  int WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) override;
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path, size_t max_bytes, int* error) override;
  int RemoveFile(const std::string& path) override;
  bool IsRegularFile(const std::string& path) override;
  std::optional<std::vector<std::string>> OwnFiles(const std::string& folder, int* error) override;

 private:
  std::optional<std::string> fixed_temp_folder_;
};

}  // namespace platform
