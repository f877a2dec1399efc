// PosixProcessRunner: the ProcessRunner port over posix_spawn, a pipe, poll and waitpid.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <mutex>
#include <set>

#include "platform/process_runner.h"

namespace platform {

// The process must not set SIGCHLD to SIG_IGN (children would be reaped before they can be waited for).
// A child is signalled only while it has not been reaped, so its id can never belong to another process
// by then. Thread safety: every method may be called from any thread; Run from several at once.
class PosixProcessRunner : public ProcessRunner {
 public:
  ProcessOutcome Run(const std::string& program, const std::vector<std::string>& arguments) override;
  void TerminateAll() override;
  void KillAll() override;
  size_t running() const override;
  uint64_t output_bytes() const override { return output_bytes_.load(); }
  bool ProcessExists(int pid) const override;

 private:
  void SignalAll(int signal) const;
  // Drains the child's output every 100 ms until the child has ended and been reaped (or its end cannot
  // be seen); its exit code and output go into `outcome`.
  void DrainUntilEnded(int read_end, pid_t child, ProcessOutcome& outcome);
  void Forget(pid_t child);  // the child is reaped, or about to be: it is signalled no more

  mutable std::mutex mutex_;
  std::set<pid_t> children_;  // started and not yet reaped; each leads its own process group
  std::atomic<uint64_t> output_bytes_{0};
};

}  // namespace platform
