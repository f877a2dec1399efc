// WinProcessRunner: the ProcessRunner port over CreateProcessW, an anonymous pipe and a job object.
#pragma once

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "platform/process_runner.h"

namespace platform {

// The command line of `program` and `arguments` as the C runtime's argument parser (CommandLineToArgvW's
// rules) reads it back exactly: each one quoted when empty or holding a space, tab or quote, backslashes
// doubled only before a quote. Pure.
std::wstring CommandLineOf(const std::wstring& program, const std::vector<std::wstring>& arguments);

// The program starts hidden (no console window of its own), with no search of PATH and the application's
// environment and current folder; standard input is the null device, standard output and error are one
// pipe, and it inherits that pipe and nothing else. Each child runs in a job object of its own, so that
// TerminateAll / KillAll end it with everything it started: the exit code is then 128 + 15 or 128 + 9, as
// a signal would give on the other platforms. A program that cannot be started is a status by
// FileStatusFromWin32 (win32/win_file_calls.h): ERROR_FILE_NOT_FOUND is kNotFound.
// Thread safety: every method may be called from any thread; Run from several at once.
class WinProcessRunner : public ProcessRunner {
 public:
  ProcessOutcome Run(const std::string& program, const std::vector<std::string>& arguments) override;
  void TerminateAll() override;
  void KillAll() override;
  size_t running() const override;
  uint64_t output_bytes() const override { return output_bytes_.load(); }
  bool ProcessExists(int pid) const override;

 private:
  void EndAll(unsigned exit_code) const;
  // Drains the child's output until the child (a process handle) has ended; its exit code and output go
  // into `outcome`.
  void DrainUntilEnded(void* child, void* read_end, ProcessOutcome& outcome);

  mutable std::mutex mutex_;
  // Process id -> its job object and process handle, while Run waits for it (the process is ended by
  // itself too, should it not be in its job).
  std::map<unsigned long, std::pair<void*, void*>> jobs_;
  std::atomic<uint64_t> output_bytes_{0};
};

}  // namespace platform
