// WinShell: the Shell port over ShellExecuteW.
#pragma once

#include "platform/shell.h"

namespace platform {

// Paths are UTF-8 with '/' or '\' (turned into '\'). Open hands the file to the shell's "open" verb shown
// normally; Print to its "print" verb, hidden (the application registered for the file's type prints it
// on the default printer). Both return the shell's own answer (above 32: accepted; 2 no such file, 31 no
// application for the type, ...); a path that is not UTF-8 or holds a NUL gives 2.
// Thread safety: every method may be called from any thread (the shell may start COM objects: the
// calling thread is the one that must have COM initialised, as the shell asks of every caller).
class WinShell : public Shell {
 public:
  bool IsRegularFile(const std::string& path) override;
  int Open(const std::string& path) override;
  int Print(const std::string& path);
};

}  // namespace platform
