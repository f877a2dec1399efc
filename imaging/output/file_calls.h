// FileCalls: the few system calls under the one rule by which both programs write their files
// (imaging/output/pending_output.h). A port, so that the rule is written once and makes no system call
// itself; the POSIX implementation is platform/posix/posix_file_calls.h, the Windows one
// platform/win32/win_file_calls.h.
//
// Paths are UTF-8, as both programs carry them; an implementation converts them at each call (a name
// without an exact system form is EINVAL, never a shorter or different name). Every call returns 0 or
// an errno value (ENOENT, EACCES, EEXIST, ENOSPC, EISDIR, ...): the system's reason turned into the
// portable number right after the call, so that callers print one kind of reason on every system.
// Thread safety: every method may be called from any thread at once; a handle is used by one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace imaging {

// What is at a path itself (a link is not followed).
enum class EntryKind { kMissing, kFile, kLink, kFolder, kOther };

class FileCalls {
 public:
  // An open file: a descriptor or a system handle, as the implementation keeps it.
  using Handle = intptr_t;

  virtual ~FileCalls() = default;

  // True for the characters that end a folder's name in a path: '/', and '\' on Windows.
  virtual bool IsSeparator(char c) const = 0;

  // This process's id, for temporary names that tell which process made them.
  virtual long ProcessId() const = 0;

  // Creates the file `path` for writing. EEXIST when anything has that name, a link included: nothing is
  // ever opened through a link. `mode` is the POSIX permission set (masked by the umask; unused where the
  // system has none). On success `*handle` is open and the caller closes it.
  virtual int CreateNew(const std::string& path, uint32_t mode, Handle* handle) = 0;

  // Writes all `size` bytes, retrying short writes.
  virtual int Write(Handle handle, const uint8_t* bytes, size_t size) = 0;

  // Flushes what was written to the disk and closes the file. The handle is closed whatever the result:
  // a full disk or a lost network write can show only here.
  virtual int SyncAndClose(Handle handle) = 0;

  // Closes without flushing (the file is about to be removed).
  virtual void Close(Handle handle) = 0;

  // What is at `path` itself.
  virtual EntryKind KindAt(const std::string& path) = 0;

  // Renames `from` to `to`, replacing the file or link at `to` (the link itself, never its target).
  virtual int Replace(const std::string& from, const std::string& to) = 0;

  // Renames `from` to `to` only while nothing has that name: EEXIST otherwise, with `from` left in place.
  virtual int RenameNoReplace(const std::string& from, const std::string& to) = 0;

  // Removes the file `path`.
  virtual int Remove(const std::string& path) = 0;
};

}  // namespace imaging
