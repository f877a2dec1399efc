// The process-wide streams and signals of the host while it serves: SIGTERM and SIGINT close the window,
// SIGPIPE is ignored, and standard output is kept apart for frames and answers. On Windows
// (runner/host/process_streams_win.cpp) Ctrl+C, Ctrl+Break and the console closing stand for the signals.
#pragma once

#include <memory>

#include "flutter/engine/serve_end.h"

namespace runner {

// SIGTERM and SIGINT notify `stop` while the guard lives (the window closing); SIGPIPE is ignored so a
// vanished reader is a failed write rather than the end of the process. One guard at a time. On Windows a
// console control handler notifies it (Ctrl+C, Ctrl+Break, the console closing, log-off, shut-down).
class StopSignalScope {
 public:
  explicit StopSignalScope(const flutter::engine::StopSignal& stop);
  ~StopSignalScope();
  StopSignalScope(const StopSignalScope&) = delete;
  StopSignalScope& operator=(const StopSignalScope&) = delete;

 private:
  struct Saved;  // what the guard replaced, restored when it goes
  std::unique_ptr<Saved> saved_;
};

// Makes every descriptor above standard error close-on-exec, those inherited from whoever started the host
// included, so the programs the host starts get standard input, output and error and nothing else. (On
// Windows handles are inherited only by name, in the process runner's list: nothing to do.)
void MarkDescriptorsCloseOnExec();

// While the guard lives, descriptor 1 points at standard error, so that no log line written to standard
// output (the colour-profile notices are) can fall between the frames or into a call's JSON answer. The
// real standard output stays reachable through private_fd(), a close-on-exec descriptor (on Windows a
// binary descriptor over a handle that no started program inherits).
class StandardOutputAside {
 public:
  StandardOutputAside();
  ~StandardOutputAside();
  StandardOutputAside(const StandardOutputAside&) = delete;
  StandardOutputAside& operator=(const StandardOutputAside&) = delete;

  // Falls back to descriptor 1 itself when it could not be duplicated.
  int private_fd() const;

 private:
  int private_fd_ = -1;
};

}  // namespace runner
