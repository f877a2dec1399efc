// FakeProcessRunner: runs recorded, behaviour supplied by the test.
#include "platform/fake/fake_process_runner.h"

namespace platform {

ProcessOutcome ExitedWith(int exit_code, std::string output) {
  ProcessOutcome outcome;
  outcome.started = true;
  outcome.exit_code = exit_code;
  outcome.output = std::move(output);
  return outcome;
}

ProcessOutcome NotStarted(int error) {
  ProcessOutcome outcome;
  outcome.start_error = error;
  return outcome;
}

ProcessOutcome FakeProcessRunner::Run(const std::string& program, const std::vector<std::string>& arguments) {
  Behaviour behaviour;
  {
    std::lock_guard lock(mutex_);
    calls_.push_back({program, arguments});
    behaviour = behaviour_;
  }
  if (!behaviour) return ExitedWith(0, "OK\n");
  return behaviour(program, arguments);
}

void FakeProcessRunner::SetBehaviour(Behaviour behaviour) {
  std::lock_guard lock(mutex_);
  behaviour_ = std::move(behaviour);
}

void FakeProcessRunner::SetOutcome(ProcessOutcome outcome) {
  SetBehaviour([outcome](const std::string&, const std::vector<std::string>&) { return outcome; });
}

std::vector<FakeProcessRunner::Call> FakeProcessRunner::calls() const {
  std::lock_guard lock(mutex_);
  return calls_;
}

}  // namespace platform
