// FakeProcessRunner: a ProcessRunner that runs a test's function in place of the program.
#pragma once

#include <functional>
#include <mutex>
#include <set>

#include "platform/process_runner.h"

namespace platform {

// Thread safety: every method may be called from any thread; the behaviour runs outside the lock, so a
// behaviour may block (a latch) while other runs proceed.
class FakeProcessRunner : public ProcessRunner {
 public:
  using Behaviour = std::function<ProcessOutcome(const std::string& program, const std::vector<std::string>& arguments)>;

  struct Call {
    std::string program;
    std::vector<std::string> arguments;
  };

  // Until told otherwise, every run starts, prints "OK\n" and exits with 0.
  ProcessOutcome Run(const std::string& program, const std::vector<std::string>& arguments) override;

  // Setup: every later run returns what `behaviour` returns (it may read the job file, block, throw).
  void SetBehaviour(Behaviour behaviour);
  // Setup: every later run returns `outcome`.
  void SetOutcome(ProcessOutcome outcome);

  std::vector<Call> calls() const;

  // The signals the application sent its programs: each TerminateAll and KillAll calls `on_signal` (when
  // set) with SIGTERM or SIGKILL, so a blocked behaviour can end as its program would. The numbers are
  // the POSIX ones on every platform (Windows has no SIGKILL).
  static constexpr int kTerminateSignal = 15;
  static constexpr int kKillSignal = 9;
  void TerminateAll() override;
  void KillAll() override;
  void SetOnSignal(std::function<void(int signal)> on_signal);
  std::vector<int> signals() const;
  // Runs in progress.
  size_t running() const override;
  // What output_bytes answers: 0 until a behaviour (or the test) adds to it.
  void AddOutputBytes(uint64_t bytes);
  uint64_t output_bytes() const override;

  // Setup: the process ids that exist (none until set).
  void SetExistingProcesses(std::set<int> pids);
  bool ProcessExists(int pid) const override;

 private:
  void Signal(int signal);

  mutable std::mutex mutex_;
  Behaviour behaviour_;
  std::vector<Call> calls_;
  std::function<void(int)> on_signal_;
  std::vector<int> signals_;
  size_t running_ = 0;
  uint64_t output_bytes_ = 0;
  std::set<int> existing_;
};

// Outcomes for SetOutcome.
ProcessOutcome ExitedWith(int exit_code, std::string output = {});
ProcessOutcome NotStarted(base::Status why);

}  // namespace platform
