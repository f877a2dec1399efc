// Shell: handing a file to the desktop, to open it in the user's default application.
//
// Answers follow the shell's convention: a value above 32 means the request was accepted, 32 or less is
// an error number. Acceptance says only that the desktop took the request, not that anything opened.
// Thread safety: every method may be called from any thread.
#pragma once

#include <string>

namespace platform {

inline constexpr int kShellAccepted = 33;

class Shell {
 public:
  virtual ~Shell() = default;

  // True when `path` names a regular file that holds data, links followed: what a photo can be. A folder,
  // a device, a FIFO, a socket, a dangling link or an empty file (the files of /proc are empty) is not:
  // handing one to the desktop's opener would open something other than a photo, or nothing.
  virtual bool IsRegularFile(const std::string& path) = 0;

  // Asks the desktop to open `path` (absolute or relative to the current folder) in its default
  // application, shown normally. Returns at once or after a short bounded wait.
  virtual int Open(const std::string& path) = 0;
};

}  // namespace platform
