// WinShell: the Shell port over ShellExecuteW.
#pragma once

#include "platform/shell.h"

namespace platform {

// Paths are UTF-8 with '/' or '\' (turned into '\'). Open hands the file to the shell's "open" verb shown
// normally. The shell's answer (above 32: accepted) becomes a kind, with its number in the message: 2 and
// 3 kNotFound, 5 kAccessDenied, 0 and 8 kOutOfMemory, 27 and 31 (no application for the type)
// kUnsupported, any other kFailed; a path that is not UTF-8 or holds a NUL is kNotFound.
// Thread safety: every method may be called from any thread (the shell may start COM objects: the
// calling thread is the one that must have COM initialised, as the shell asks of every caller).
class WinShell : public Shell {
 public:
  bool IsRegularFile(const std::string& path) override;
  base::Status Open(const std::string& path) override;
};

}  // namespace platform
