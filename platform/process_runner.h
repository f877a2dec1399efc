// ProcessRunner: starting a helper program, collecting what it prints and waiting for its end.
//
// The program is started directly (no shell, no search of PATH) with exactly the arguments given, the
// application's environment and current folder, standard input from the null device, and standard output
// and standard error joined into one pipe that the runner drains while it waits, so a child that prints
// without pause is never held up for long and never deadlocks. The child starts with default signal
// dispositions and an empty signal mask, in its own process group (an interrupt typed in the terminal
// reaches the application only; the application decides what happens to its job), and inherits no other
// descriptor of the application.
// Thread safety: every method may be called from any thread; Run from several at once, each call owning
// its child.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/status.h"

namespace platform {

struct ProcessOutcome {
  // Ok when the program was started; else why not (kNotFound: missing, kAccessDenied: not executable,
  // kOutOfMemory ...), the system's number as its `system_error()`.
  base::Status start = base::Status::Failed("not started");
  bool wait_failed = false;  // the child's end could not be observed; exit_code then stays 1
  // The exit status when the child exited; 128 + the signal number when a signal ended it; 1 when not
  // started or the wait failed.
  int exit_code = 1;
  std::string output;  // every byte the child wrote to standard output and standard error, in order
};

class ProcessRunner {
 public:
  virtual ~ProcessRunner() = default;

  // Runs `program` (a path) with `arguments` (argv[1] on; argv[0] is `program`) and waits, without a time
  // limit, until it has ended and its output pipe has been read to its end (or to what is left once the
  // child has ended, should a grandchild keep the pipe open).
  virtual ProcessOutcome Run(const std::string& program, const std::vector<std::string>& arguments) = 0;

  // The application is closing for good: every program a Run is waiting for gets SIGTERM (TerminateAll)
  // or SIGKILL (KillAll), sent to its whole process group so that its own children go with it. Their
  // Runs then end as usual, with 128 + the signal as the exit code.
  virtual void TerminateAll() = 0;
  virtual void KillAll() = 0;
  // Programs started by Run that have not ended yet.
  virtual size_t running() const = 0;
  // The bytes all programs started by Run have written so far: it grows while they report progress.
  virtual uint64_t output_bytes() const = 0;

  // True when a process with id `pid` exists (of any user): a file named after a process that no longer
  // exists is left over.
  virtual bool ProcessExists(int pid) const = 0;
};

}  // namespace platform
