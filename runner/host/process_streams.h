// The process-wide streams and signals of the host while it serves: SIGTERM and SIGINT close the window,
// SIGPIPE is ignored, and standard output is kept apart for frames and answers.
#pragma once

#include <csignal>

#include "flutter/engine/transport.h"

namespace runner {

// SIGTERM and SIGINT notify `stop` while the guard lives (the window closing); SIGPIPE is ignored so a
// vanished reader is a failed write rather than the end of the process. One guard at a time.
class StopSignalScope {
 public:
  explicit StopSignalScope(const flutter::engine::StopSignal& stop);
  ~StopSignalScope();
  StopSignalScope(const StopSignalScope&) = delete;
  StopSignalScope& operator=(const StopSignalScope&) = delete;

 private:
  struct sigaction old_term_ {};
  struct sigaction old_int_ {};
};

// Makes every descriptor above standard error close-on-exec, those inherited from whoever started the host
// included, so the programs the host starts get standard input, output and error and nothing else.
void MarkDescriptorsCloseOnExec();

// While the guard lives, descriptor 1 points at standard error, so that no log line written to standard
// output (the colour-profile notices are) can fall between the frames or into a call's JSON answer. The
// real standard output stays reachable through private_fd(), a close-on-exec descriptor.
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
