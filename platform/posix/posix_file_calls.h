// PosixFileCalls: the system calls under the one rule of writing files (imaging/output/pending_output.h)
// on POSIX systems: open(2) with O_EXCL | O_NOFOLLOW, write(2), fsync(2), lstat(2), rename(2).
//
// Renaming without replacing: renameat2(RENAME_NOREPLACE) where the file system has it; else a hard
// link to the final name (which the system refuses for a taken name) and the temporary name removed;
// where hard links are refused too (FAT and exFAT, many SMB and FUSE mounts), a checked rename: the
// final name is looked up first and the rename done only when it is free. That last step leaves a short
// window in which a file made by another program at that moment could be replaced; no better exists on
// such file systems.
// Thread safety: every method may be called from any thread at once.
#pragma once

#include <string>

#include "imaging/output/file_calls.h"

namespace platform {

// The two calls that rename without replacing, apart so that tests can refuse them as the file
// systems above do. Each returns 0 or an errno value.
struct NoReplaceCalls {
  int (*rename_no_replace)(const char* from, const char* to);
  int (*hard_link)(const char* from, const char* to);
};

// The system's own calls.
NoReplaceCalls SystemNoReplaceCalls();

// Renames `from` to `to` unless `to` already exists (EEXIST then, `from` left in place), by the steps
// above. 0 or an errno value.
int RenameWithoutReplacing(const std::string& from, const std::string& to, const NoReplaceCalls& calls);

class PosixFileCalls : public imaging::FileCalls {
 public:
  PosixFileCalls() = default;
  explicit PosixFileCalls(const NoReplaceCalls& no_replace) : no_replace_(no_replace) {}

  bool IsSeparator(char c) const override { return c == '/'; }
  long ProcessId() const override;
  int CreateNew(const std::string& path, uint32_t mode, Handle* handle) override;
  int Write(Handle handle, const uint8_t* bytes, size_t size) override;
  int SyncAndClose(Handle handle) override;
  void Close(Handle handle) override;
  imaging::EntryKind KindAt(const std::string& path) override;
  int Replace(const std::string& from, const std::string& to) override;
  int RenameNoReplace(const std::string& from, const std::string& to) override;
  int Remove(const std::string& path) override;

 private:
  NoReplaceCalls no_replace_ = SystemNoReplaceCalls();
};

}  // namespace platform
