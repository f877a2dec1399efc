// WinFileCalls: the system calls under the one rule of writing files (imaging/output/pending_output.h)
// on Windows: CreateFileW with CREATE_NEW, WriteFile, FlushFileBuffers, GetFileAttributesW, MoveFileExW
// (with MOVEFILE_REPLACE_EXISTING to replace; without it the system refuses a taken name atomically).
// Paths are UTF-8 with '/' or '\' and become UTF-16 with '\' at each call; a name without an exact
// UTF-16 form is EINVAL. Modes are not used: files take the permissions of their folder.
// Links only libraries both programs have (no platform_win32), so that the helper links it too.
// Thread safety: every method may be called from any thread at once.
#pragma once

#include <string>
#include <string_view>

#include "base/status.h"
#include "imaging/output/file_calls.h"

namespace platform {

// The system's error number as the portable errno value (ENOENT, EACCES, EEXIST, ENOSPC, ...; EIO for
// the rest). Pure.
int ErrnoFromWin32(unsigned long error);

// The status for the system's error number about `path`: the kind by way of ErrnoFromWin32 and
// imaging/output/file_status.h, the message "<path>: <the system's own message>".
base::Status FileStatusFromWin32(unsigned long error, std::string_view path);

class WinFileCalls : public imaging::FileCalls {
 public:
  bool IsSeparator(char c) const override { return c == '/' || c == '\\'; }
  long ProcessId() const override;
  int CreateNew(const std::string& path, uint32_t mode, Handle* handle) override;
  int Write(Handle handle, const uint8_t* bytes, size_t size) override;
  int SyncAndClose(Handle handle) override;
  void Close(Handle handle) override;
  imaging::EntryKind KindAt(const std::string& path) override;
  int Replace(const std::string& from, const std::string& to) override;
  int RenameNoReplace(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;
};

}  // namespace platform
