// FakeProcessRunner: a ProcessRunner that runs a test's function in place of the program.
#pragma once

#include <functional>
#include <mutex>

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

 private:
  mutable std::mutex mutex_;
  Behaviour behaviour_;
  std::vector<Call> calls_;
};

// Outcomes for SetOutcome.
ProcessOutcome ExitedWith(int exit_code, std::string output = {});
ProcessOutcome NotStarted(int error);

}  // namespace platform
