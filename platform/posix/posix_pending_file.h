// PosixPendingFile: the files of the application written on POSIX systems by the one rule of
// platform/file_system.h: a short temporary name in the destination folder (".pictavera-<pid>-<n>.tmp",
// created exclusively, never through a link), fsync, then rename to the final name.
//
// Publishing without replacing: renameat2(RENAME_NOREPLACE) where the file system has it; else a hard
// link to the final name (which the system refuses for a taken name) and the temporary name removed;
// where hard links are refused too (FAT and exFAT, many SMB and FUSE mounts), a checked rename: the
// final name is looked up first and the rename done only when it is free. That last step leaves a short
// window in which a file made by another program at that moment could be replaced; no better exists on
// such file systems.
#pragma once

#include <memory>
#include <string>

#include "platform/file_system.h"

namespace platform {

// The two calls that publish without replacing, apart so that tests can refuse them as the file
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

// Thread safety: one thread at a time per file; files are independent.
class PosixPendingFile : public PendingFile {
 public:
  // A new temporary file in `folder` (links in the folder's own path are followed), or null with
  // `*error` set.
  static std::unique_ptr<PosixPendingFile> Start(const std::string& folder, uint32_t mode,
                                                 const NoReplaceCalls& calls, int* error);
  ~PosixPendingFile() override;
  PosixPendingFile(const PosixPendingFile&) = delete;
  PosixPendingFile& operator=(const PosixPendingFile&) = delete;

  int Write(const uint8_t* bytes, size_t size) override;
  int Publish(const std::string& path, PublishMode mode) override;

  const std::string& temporary_path() const { return temporary_; }

 private:
  PosixPendingFile(std::string folder, std::string temporary, int fd, const NoReplaceCalls& calls);
  int Drop(int error);  // closes and removes the temporary file; returns `error`

  std::string folder_;
  std::string temporary_;
  int fd_ = -1;
  bool flushed_ = false;
  bool failed_ = false;
  bool published_ = false;
  NoReplaceCalls calls_;
};

}  // namespace platform
