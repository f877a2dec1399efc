// WinFileSystem: the FileSystem port over Win32 file calls with wide-character paths.
#pragma once

#include <optional>
#include <string>

#include "platform/file_system.h"
#include "platform/win32/win_file_calls.h"

namespace platform {

// The temporary folder when $PICTAVERA_TEMP_DIR does not name one: the public one every user of the
// machine shares.
inline constexpr char kWindowsTempFolder[] = "C:/Users/Public/PictaVera_Temp";

// Paths on the port are UTF-8 with '/' (drive paths "C:/..." and UNC paths "//server/share/..." count as
// absolute; '\' is accepted too) and become UTF-16 with '\' at each call. Files are written by the one
// rule over WinFileCalls (win_file_calls.h). Modes are not used: files and folders take the
// permissions of the folder they are made in. The temporary folder is $PICTAVERA_TEMP_DIR (absolute),
// else kWindowsTempFolder, created when missing; refused (kAccessDenied) when it is a link or not a
// folder. It is shared by the machine's users by design, so no owner is checked for it; OwnFiles does
// check each file's owner against the current user. The system's errors become kinds by
// FileStatusFromWin32, its own message in the status.
// Thread safety: every method may be called from any thread at once.
class WinFileSystem : public FileSystem {
 public:
  WinFileSystem() = default;
  explicit WinFileSystem(std::string temp_folder) : fixed_temp_folder_(std::move(temp_folder)) {}

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
  WinFileCalls calls_;
};

}  // namespace platform
