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

  // True when something exists at `path` (a folder counts; a dangling link does not).
  virtual bool PathExists(const std::string& path) = 0;

  // Asks the desktop to open `path` (absolute or relative to the current folder) in its default
  // application, shown normally. Returns at once or after a short bounded wait.
  virtual int Open(const std::string& path) = 0;
};

}  // namespace platform
