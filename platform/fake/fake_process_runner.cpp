// FakeProcessRunner: runs recorded, behaviour supplied by the test.
#include "platform/fake/fake_process_runner.h"

#include <csignal>

namespace platform {

ProcessOutcome ExitedWith(int exit_code, std::string output) {
  ProcessOutcome outcome;
  outcome.start = base::Status::Ok();
  outcome.exit_code = exit_code;
  outcome.output = std::move(output);
  return outcome;
}

ProcessOutcome NotStarted(base::Status why) {
  ProcessOutcome outcome;
  outcome.start = std::move(why);
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
  struct Running {
    FakeProcessRunner& runner;
    explicit Running(FakeProcessRunner& r) : runner(r) {
      std::lock_guard lock(runner.mutex_);
      ++runner.running_;
    }
    ~Running() {
      std::lock_guard lock(runner.mutex_);
      --runner.running_;
    }
  } running(*this);
  return behaviour(program, arguments);
}

void FakeProcessRunner::Signal(int signal) {
  std::function<void(int)> on_signal;
  {
    std::lock_guard lock(mutex_);
    signals_.push_back(signal);
    on_signal = on_signal_;
  }
  if (on_signal) on_signal(signal);
}

void FakeProcessRunner::TerminateAll() { Signal(kTerminateSignal); }

void FakeProcessRunner::KillAll() { Signal(kKillSignal); }

void FakeProcessRunner::SetOnSignal(std::function<void(int)> on_signal) {
  std::lock_guard lock(mutex_);
  on_signal_ = std::move(on_signal);
}

std::vector<int> FakeProcessRunner::signals() const {
  std::lock_guard lock(mutex_);
  return signals_;
}

size_t FakeProcessRunner::running() const {
  std::lock_guard lock(mutex_);
  return running_;
}

void FakeProcessRunner::AddOutputBytes(uint64_t bytes) {
  std::lock_guard lock(mutex_);
  output_bytes_ += bytes;
}

uint64_t FakeProcessRunner::output_bytes() const {
  std::lock_guard lock(mutex_);
  return output_bytes_;
}

void FakeProcessRunner::SetExistingProcesses(std::set<int> pids) {
  std::lock_guard lock(mutex_);
  existing_ = std::move(pids);
}

bool FakeProcessRunner::ProcessExists(int pid) const {
  std::lock_guard lock(mutex_);
  return existing_.count(pid) != 0;
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
