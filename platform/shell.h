// Shell: handing a file to the desktop, to open it in the user's default application.
//
// Thread safety: every method may be called from any thread.
#pragma once

#include <string>

#include "base/status.h"

namespace platform {

class Shell {
 public:
  virtual ~Shell() = default;

  // True when `path` names a regular file that holds data, links followed: what a photo can be. A folder,
  // a device, a FIFO, a socket, a dangling link or an empty file (the files of /proc are empty) is not:
  // handing one to the desktop's opener would open something other than a photo, or nothing.
  virtual bool IsRegularFile(const std::string& path) = 0;

  // Asks the desktop to open `path` (absolute or relative to the current folder) in its default
  // application, shown normally. Returns at once or after a short bounded wait. Ok when the desktop took
  // the request, which says only that, not that anything opened. A refusal's kind says why: kNotFound
  // (no such file, or no opener to hand it to), kAccessDenied, kOutOfMemory, kUnsupported (no application
  // for the file's type, or the opener turned it down), kFailed (anything else); its message is the
  // desktop's own answer, for the log.
  virtual base::Status Open(const std::string& path) = 0;
};

}  // namespace platform
