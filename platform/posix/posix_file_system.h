// PosixFileSystem: the FileSystem port over POSIX calls (files written by the one rule over
// PosixFileCalls, mkdir, stat and lstat); errno values become kinds by imaging/output/file_status.h.
#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/posix/posix_file_calls.h"

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
  // As above (no `temp_folder`: from the environment), publishing new files through `calls`.
  PosixFileSystem(std::optional<std::string> temp_folder, const NoReplaceCalls& calls)
      : fixed_temp_folder_(std::move(temp_folder)), calls_(calls) {}

  base::StatusOr<std::string> TempFolder() override;
  base::Status CreateFolder(const std::string& path, uint32_t mode) override;
  base::StatusOr<std::unique_ptr<PendingFile>> StartFile(const std::string& folder, uint32_t mode) override;
  base::StatusOr<std::vector<uint8_t>> ReadFile(const std::string& path, size_t max_bytes) override;
  base::Status RemoveFile(const std::string& path) override;
  bool IsRegularFile(const std::string& path) override;
  std::optional<FileIdentity> IdentityOf(const std::string& path) override;
  PathKind KindAt(const std::string& path) override;
  base::StatusOr<std::vector<std::string>> OwnFiles(const std::string& folder) override;

 private:
  std::optional<std::string> fixed_temp_folder_;
  PosixFileCalls calls_;
};

}  // namespace platform
