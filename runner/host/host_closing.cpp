// CloseHost: the wait for running work, and the forced end.
#include "runner/host/host_closing.h"

#include <algorithm>
#include <memory>
#include <string>

#include "imaging/memory_budget.h"
#include "platform/process_runner.h"
#include "platform/spooler.h"
#include "runner/log.h"
#include "runner/channels/pending_work.h"
#include "runner/thread_registry.h"
#include "runner/work_lanes.h"

namespace runner {
namespace {

using Clock = std::chrono::steady_clock;
using flutter::engine::StopSignal;
using flutter::engine::WaitEnd;

// How often the forced end looks at helpers and threads while it writes answers.
constexpr std::chrono::milliseconds kLookInterval{50};

// "10 s", or "300 ms" for a duration that is not whole seconds.
std::string Seconds(std::chrono::milliseconds duration) {
  if (duration.count() % 1000 != 0) return std::to_string(duration.count()) + " ms";
  return std::to_string(duration.count() / 1000) + " s";
}

// Ends what is left; true when every thread was joined by the exit limit.
bool Force(const Services& services, const WriteRepliesUntil& write_replies_until, const ClosingTimes& times,
           const StopSignal& progress, const std::string& reason) {
  const Clock::time_point forced_at = Clock::now();
  const std::string left = services.pending != nullptr ? services.pending->Describe() : std::string();
  LogLine("INFO: Closing now (" + reason + "): ending " + (left.empty() ? std::string("the idle workers") : left));
  // Every open call gets its failure row first; what the work answers once it is stopped is dropped.
  if (services.threads != nullptr) services.threads->RequestStop();
  if (services.lanes != nullptr) services.lanes->CancelWaiting();
  if (services.pending != nullptr) services.pending->EndAll();
  if (services.memory != nullptr) services.memory->Interrupt();
  if (services.processes != nullptr) services.processes->TerminateAll();
  if (services.spooler != nullptr) services.spooler->CancelActiveJobs();

  // The helpers have kill_delay to end on their own; the answers go out meanwhile.
  if (services.processes != nullptr) {
    const Clock::time_point kill_at = forced_at + times.kill_delay;
    while (services.processes->running() > 0 && Clock::now() < kill_at) {
      write_replies_until(progress, std::min(kill_at, Clock::now() + kLookInterval));
      progress.Clear();
    }
    if (services.processes->running() > 0) {
      LogLine("INFO: Closing now: " + std::to_string(services.processes->running()) +
              " helper programs still running after " + Seconds(times.kill_delay) + "; killed");
      services.processes->KillAll();
    }
  }
  if (services.threads == nullptr) return true;
  const Clock::time_point exit_at = forced_at + times.exit_limit;
  for (;;) {
    if (services.threads->JoinAllUntil(std::min(exit_at, Clock::now() + kLookInterval))) return true;
    if (Clock::now() >= exit_at) {
      LogLine("ERROR: Closing now: " + std::to_string(services.threads->size()) +
              " background threads did not end in time; the process ends without them");
      return false;
    }
    write_replies_until(progress, Clock::now() + kLookInterval);
    progress.Clear();
  }
}

}  // namespace

bool CloseHost(const Services& services, const WriteRepliesUntil& write_replies_until, const ClosingTimes& times) {
  PendingWork* pending = services.pending;
  // Shared with the listener, which a worker may still be calling when this function returns.
  auto progress_signal = std::make_shared<StopSignal>();
  const StopSignal& progress = *progress_signal;
  if (pending != nullptr) pending->SetListener([progress_signal] { progress_signal->Notify(); });
  const std::string waiting_for = pending != nullptr ? pending->Describe() : std::string();
  LogLine(waiting_for.empty() ? std::string("INFO: Closing: no work to wait for")
                              : "INFO: Closing: waiting for " + waiting_for);

  // Progress: work that ends, steps long work marks, and output of the helper programs (they report
  // each photo).
  const auto progress_now = [&services, pending] {
    return (pending != nullptr ? pending->progress() : 0) +
           (services.processes != nullptr ? services.processes->output_bytes() : 0);
  };
  std::string force_reason;
  uint64_t seen = progress_now();
  Clock::time_point give_up_at = Clock::now() + times.no_progress;
  while (pending != nullptr && pending->size() > 0) {
    const WaitEnd end = write_replies_until(progress, give_up_at);
    progress.Clear();
    if (end == WaitEnd::kStopped) {
      force_reason = "a second stop signal";
      break;
    }
    if (progress_now() != seen) {
      seen = progress_now();
      give_up_at = Clock::now() + times.no_progress;
    } else if (Clock::now() >= give_up_at && pending->size() > 0) {
      force_reason = "no progress for " + Seconds(times.no_progress);
      break;
    }
  }

  bool joined = true;
  if (!force_reason.empty()) {
    joined = Force(services, write_replies_until, times, progress, force_reason);
  } else if (services.threads != nullptr) {
    services.threads->JoinAll();  // the lanes' idle workers
  }
  if (pending != nullptr) pending->SetListener(nullptr);
  return joined;
}

}  // namespace runner
