// FileSystem: the files and folders the application itself creates: the temporary folder, job files,
// baked pictures, settings files.
//
// Paths are UTF-8 byte strings, absolute, joined with '/'. Failures are an errno value (0 = success) so
// that callers can print the system's own reason and number; nothing else crosses this interface.
// Thread safety: every method may be called from any thread at once.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace platform {

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
  // already exists there (the caller decides whether an existing folder will do).
  virtual int CreateFolder(const std::string& path, uint32_t mode) = 0;

  // Creates the new file `path` (never replacing anything, never following a link at `path`; mode 0600
  // unless `mode` says otherwise), writes all of `bytes` and closes it, checking the close. On any failure
  // after creation the partial file is removed. 0 on success; EEXIST when the name is taken.
  virtual int WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t mode = 0600) = 0;

  // Replaces the file `path` with `bytes` atomically (written to a new temporary name beside it, then
  // renamed over it), creating the folders above it with mode 0700 where missing. 0 on success.
  virtual int ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) = 0;

  // Writes `bytes` to the file `path`, creating it or replacing the regular file there (written under a
  // new temporary name beside it, then renamed over it, so nobody sees half a file and a link at `path` is
  // replaced, not followed). Never creates folders: ENOENT when the folder is missing. On failure nothing
  // is left behind and an older file stays as it was. 0 on success.
  virtual int WriteFile(const std::string& path, const std::vector<uint8_t>& bytes) = 0;

  // Reads at most `max_bytes` of the regular file `path`; nothing (with `*error` set) when it is missing,
  // unreadable or not a regular file.
  virtual std::optional<std::vector<uint8_t>> ReadFile(const std::string& path, size_t max_bytes, int* error) = 0;

  // Removes the file `path` (not a folder). 0 on success, ENOENT when there was none.
  virtual int RemoveFile(const std::string& path) = 0;

  // True when `path` names a regular file (following links), as opening it for reading would see it.
  virtual bool IsRegularFile(const std::string& path) = 0;

  // The names (not paths) of the regular files directly in `folder` that belong to this user; links and
  // anything else are left out. Nothing, with `*error` set, when the folder cannot be read.
  virtual std::optional<std::vector<std::string>> OwnFiles(const std::string& folder, int* error) = 0;
};

}  // namespace platform
