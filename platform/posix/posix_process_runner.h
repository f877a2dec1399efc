// PosixProcessRunner: the ProcessRunner port over posix_spawn, a pipe, poll and waitpid.
#pragma once

#include "platform/process_runner.h"

namespace platform {

// The process must not set SIGCHLD to SIG_IGN (children would be reaped before they can be waited for).
// Thread safety: Run may be called from several threads at once.
class PosixProcessRunner : public ProcessRunner {
 public:
  ProcessOutcome Run(const std::string& program, const std::vector<std::string>& arguments) override;
};

}  // namespace platform
