// FileSystem: the files and folders the application itself creates: the temporary folder, job files,
// baked pictures, sheets, PDF files, settings files.
//
// Paths are UTF-8 byte strings, absolute, joined with '/'. Failures are a base::Status of one of the
// kinds below; its message is the path followed by the system's own reason ("/out/a.jpg: Permission
// denied"), for a log line. Callers choose by kind, never by the message.
//   kNotFound         the file, or a folder on the way, is missing
//   kAlreadyExists    the name is taken where nothing may be replaced
//   kAccessDenied     refused by the system, or not what is needed there (a folder, a link, a device)
//   kInvalidArgument  a path the system takes no file under, or a final name outside the file's folder
//   kTooLarge         beyond the system's file size limit
//   kIoError          any other failure; a full disk is one, its message saying "disk full"
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

#include "base/status.h"
#include "imaging/output/file_calls.h"
#include "imaging/output/pending_output.h"

namespace platform {

// How a finished file takes its final name (kReplace: over the file or link that has the name, anything
// else there refused; kNoReplace: only while the name is free, kAlreadyExists otherwise).
using PublishMode = imaging::PublishMode;

// A file being written. Thread safety: one thread at a time.
class PendingFile {
 public:
  // Removes the temporary file unless Publish succeeded.
  virtual ~PendingFile() = default;

  // Appends `size` bytes. Ok, or the failure (kIoError "disk full" for a full disk); after a failure
  // the file is gone and every later call fails.
  virtual base::Status Write(const uint8_t* bytes, size_t size) = 0;

  // Flushes the bytes to the disk (once) and gives the file the name `path`, which must lie in the
  // folder the file was started in. With kNoReplace, kAlreadyExists when the name is taken: the file
  // stays pending and may be published under another name. kInvalidArgument, with nothing changed, when
  // `path` is not in that folder. Any other failure (kAccessDenied for a folder or a device at the name)
  // removes it.
  virtual base::Status Publish(const std::string& path, PublishMode mode) = 0;
};

// A PendingFile by the one rule over `calls` (which must outlive it), named ".pictavera-<pid>-<n>.tmp" in
// `folder`: what the real adapters' StartFile returns, its failures as StartFile gives them (the image
// core's failures turned into kinds by imaging/output/file_status.h).
base::StatusOr<std::unique_ptr<PendingFile>> StartFileByRule(imaging::FileCalls& calls, const std::string& folder,
                                                             uint32_t mode);

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
  // (empty variables count as unset), without a trailing '/'. Created with mode 0700 when missing (last
  // component only). Refused with kInvalidArgument when the value is not absolute, kAccessDenied when it
  // is a link, not a folder, or not owned by this user or writable by group or others, kNotFound when a
  // folder above it is missing, or as the system refuses to create it. Checked again on every call: the
  // folder may be replaced.
  virtual base::StatusOr<std::string> TempFolder() = 0;

  // Creates the folder `path` with `mode` (last component only). kAlreadyExists when anything already
  // exists there (KindAt tells whether it is a folder that will do); kNotFound when the folder above is
  // missing.
  virtual base::Status CreateFolder(const std::string& path, uint32_t mode) = 0;

  // Starts a new file in the existing folder `folder` with `mode` (masked by the umask), owned by the
  // caller. kNotFound when the folder is missing, kAccessDenied (or another kind) when it takes no file.
  virtual base::StatusOr<std::unique_ptr<PendingFile>> StartFile(const std::string& folder, uint32_t mode) = 0;

  // Writes `bytes` as the file `path` by the one rule, replacing the file or link there. Never creates
  // folders: kNotFound when the folder is missing. On failure an older file stays as it was.
  base::Status WriteFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode = 0644);

  // Writes `bytes` as the new file `path` by the one rule; kAlreadyExists (and nothing written) when
  // anything already has that name.
  base::Status WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode = 0600);

  // At most the first `max_bytes` bytes of the regular file `path` (an empty file gives an empty
  // vector). kNotFound when it is missing, kAccessDenied when it is unreadable or not a regular file (a
  // folder, a device, a FIFO).
  virtual base::StatusOr<std::vector<uint8_t>> ReadFile(const std::string& path, size_t max_bytes) = 0;

  // Removes the file or link `path` (not a folder: kAccessDenied). kNotFound when there was none.
  virtual base::Status RemoveFile(const std::string& path) = 0;

  // True when `path` names a regular file (following links), as opening it for reading would see it.
  virtual bool IsRegularFile(const std::string& path) = 0;

  // The identity of the file `path` names, links followed; nothing when nothing can be found there.
  virtual std::optional<FileIdentity> IdentityOf(const std::string& path) = 0;

  // What is at `path` itself, without following a link there.
  virtual PathKind KindAt(const std::string& path) = 0;

  // The names (not paths) of the regular files directly in `folder` that belong to this user, in no
  // order (an empty vector when there are none); links and anything else are left out. kNotFound when
  // the folder is missing, kAccessDenied (or another kind) when it cannot be read.
  virtual base::StatusOr<std::vector<std::string>> OwnFiles(const std::string& folder) = 0;

  // Says that a program this one starts is about to write files in `folder` by the same rule (temporary
  // names there). The adapters keep no record and do nothing; the host's journal of the folders it
  // writes into does (runner/host/folder_journal.h).
  virtual void NoteWritingIn(const std::string& /*folder*/) {}
};

// The folder part of `path`: everything before its last separator ('/', and on Windows '\' too; the
// root itself for a path directly under it, "." for a path without a separator).
std::string FolderOfPath(const std::string& path);

}  // namespace platform
