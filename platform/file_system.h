// FileSystem: the files and folders the application itself creates: the temporary folder, job files,
// baked pictures, sheets, PDF files, settings files.
//
// Paths are UTF-8 byte strings, absolute, joined with '/'. Failures are an errno value (0 = success) so
// that callers can print the system's own reason and number; nothing else crosses this interface.
//
// Every file is written by one rule (PendingFile), the image core's (imaging/output/pending_output.h),
// which both programs follow: under a short temporary name in its destination folder, flushed to the
// disk, then renamed to its final name; on any failure the temporary file is removed. Nobody ever sees
// half a file at the final name, a full disk leaves nothing behind, a link at the final name is
// replaced (its target is never written), and the final name may be as long as the folder allows,
// whatever the temporary name adds.
// Thread safety: every method may be called from any thread at once.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/output/file_calls.h"
#include "imaging/output/pending_output.h"

namespace platform {

// How a finished file takes its final name (kReplace: over the file or link that has the name, anything
// else there refused; kNoReplace: only while the name is free, EEXIST otherwise).
using PublishMode = imaging::PublishMode;

// A file being written. Thread safety: one thread at a time.
class PendingFile {
 public:
  // Removes the temporary file unless Publish succeeded.
  virtual ~PendingFile() = default;

  // Appends `size` bytes. 0, or an errno value (ENOSPC: disk full); after a failure the file can only
  // be dropped.
  virtual int Write(const uint8_t* bytes, size_t size) = 0;

  // Flushes the bytes to the disk (once) and gives the file the name `path`, which must lie in the
  // folder the file was started in. 0 on success. With kNoReplace, EEXIST when the name is taken: the
  // file stays pending and may be published under another name. EXDEV, with nothing changed, when
  // `path` is not in that folder. Any other failure removes it.
  virtual int Publish(const std::string& path, PublishMode mode) = 0;
};

// A PendingFile by the one rule over `calls` (which must outlive it), named ".pictavera-<pid>-<n>.tmp" in
// `folder`: what the real adapters' StartFile returns. Null with `*error` set as StartFile says.
std::unique_ptr<PendingFile> StartFileByRule(imaging::FileCalls& calls, const std::string& folder, uint32_t mode,
                                             int* error);

// Which file a path names once every link is followed: equal identities are the same file.
struct FileIdentity {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileIdentity&) const = default;
};

// What is at a path itself (a link is not followed).
enum class PathKind { kMissing, kFile, kFolder, kLink, kOther };

class FileSystem {
 public:
  virtual ~FileSystem() = default;

  // The application's temporary folder: $PICTAVERA_TEMP_DIR, else ${TMPDIR:-/tmp}/PictaVera_Temp-<uid>
  // (empty variables count as unset; a value that is not absolute is refused), without a trailing '/'.
  // Created with mode 0700 when missing (last component only). Refused, with `*error` set to an errno
  // value, when it is a link (ELOOP), not a folder (ENOTDIR), not owned by this user or writable by group
  // or others (EPERM), or cannot be created. Checked again on every call: the folder may be replaced.
  virtual std::optional<std::string> TempFolder(int* error) = 0;

  // Creates the folder `path` with `mode` (last component only). 0 on success; EEXIST when anything
  // already exists there (KindAt tells whether it is a folder that will do).
  virtual int CreateFolder(const std::string& path, uint32_t mode) = 0;

  // Starts a new file in the existing folder `folder` with `mode` (masked by the umask). Null with
  // `*error` set when the folder is missing (ENOENT) or cannot be written (EACCES, EROFS, ...).
  virtual std::unique_ptr<PendingFile> StartFile(const std::string& folder, uint32_t mode, int* error) = 0;

  // Writes `bytes` as the file `path` by the one rule, replacing the file or link there. Never creates
  // folders: ENOENT when the folder is missing. On failure an older file stays as it was. 0 on success.
  int WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode = 0644);

  // Writes `bytes` as the new file `path` by the one rule; EEXIST (and nothing written) when anything
  // already has that name. 0 on success.
  int WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode = 0600);

  // Reads at most `max_bytes` of the regular file `path`; nothing (with `*error` set) when it is missing,
  // unreadable or not a regular file.
  virtual std::optional<std::vector<uint8_t>> ReadFile(const std::string& path, size_t max_bytes, int* error) = 0;

  // Removes the file `path` (not a folder). 0 on success, ENOENT when there was none.
  virtual int RemoveFile(const std::string& path) = 0;

  // True when `path` names a regular file (following links), as opening it for reading would see it.
  virtual bool IsRegularFile(const std::string& path) = 0;

  // The identity of the file `path` names, links followed; nothing when nothing can be found there.
  virtual std::optional<FileIdentity> IdentityOf(const std::string& path) = 0;

  // What is at `path` itself, without following a link there.
  virtual PathKind KindAt(const std::string& path) = 0;

  // The names (not paths) of the regular files directly in `folder` that belong to this user; links and
  // anything else are left out. Nothing, with `*error` set, when the folder cannot be read.
  virtual std::optional<std::vector<std::string>> OwnFiles(const std::string& folder, int* error) = 0;

  // Says that a program this one starts is about to write files in `folder` by the same rule (temporary
  // names there). The adapters keep no record and do nothing; the host's journal of the folders it
  // writes into does (runner/host/folder_journal.h).
  virtual void NoteWritingIn(const std::string& /*folder*/) {}
};

// The folder part of `path`: everything before its last separator ('/', and on Windows '\' too; the
// root itself for a path directly under it, "." for a path without a separator).
std::string FolderOfPath(const std::string& path);

}  // namespace platform
