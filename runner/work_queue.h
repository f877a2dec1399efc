// WorkQueue: one lane of work off the platform thread. Tasks run in order of submission on at most
// `max_workers` threads of the ThreadRegistry; at most `max_waiting` tasks wait their turn.
//
// Every pool of the host's handlers is one of these (previews, metadata reads, sheet jobs, print jobs,
// shell requests, bakes, face batches): the platform thread submits and returns, a worker runs the task,
// and the task answers its call itself. Workers start as tasks arrive and end once the lane has been idle
// for `linger`, or as soon as the registry is told to stop. A task still waiting when the registry is told
// to stop, or when the lane is destroyed, never runs: its `cancel` runs instead (it answers the task's
// call with its failure row), on a worker or on the thread that cancels.
// A lane with a fullness listener (HoldReadsWhenFull) never refuses a task for want of room: once
// `max_waiting` tasks wait it takes the task anyway and tells the listener, which stops the transports
// reading new calls (the host's ReadGate) until the lane tells it that the queue is below its limit again
// (back-pressure; what was already read is bounded by the transports' limits). Without one a full lane
// refuses.
// Usage:
//   WorkQueue lane("preview", 2, 1024, services.threads, services.clock);
//   if (!lane.Submit({[=] { ...answer... }, [=] { ...answer the failure... }})) { ...answer the failure now... }
// Thread safety: every method may be called from any thread.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace platform {
class Clock;
}

namespace runner {

class ThreadRegistry;

// Starts `work` on a new thread named `name`; false (with `*error`) when it cannot. ThreadRegistry::Start.
using ThreadStarter = std::function<bool(std::string name, std::function<void()> work, std::string* error)>;

class WorkQueue {
 public:
  struct Task {
    std::function<void()> run;
    std::function<void()> cancel;  // may be empty
  };

  static constexpr std::chrono::milliseconds kDefaultLinger{30000};

  // `threads` starts the workers (null: every Submit fails) and says when to stop; `clock` (may be null:
  // idle workers then stay until the registry stops) measures the linger. `name` names the worker threads
  // in log lines. `start_thread`, when given, starts the workers instead of `threads`.
  WorkQueue(std::string name, int max_workers, size_t max_waiting, ThreadRegistry* threads, platform::Clock* clock,
            std::chrono::milliseconds linger = kDefaultLinger, ThreadStarter start_thread = nullptr);
  // Cancels the tasks still waiting. Workers still running keep what they need alive and finish.
  ~WorkQueue();
  WorkQueue(const WorkQueue&) = delete;
  WorkQueue& operator=(const WorkQueue&) = delete;

  // Called with true when the lane becomes full and false when it has room again, on the thread that
  // changed it, under the lane's lock (so it must not call the lane). From now on a full lane takes tasks
  // instead of refusing them (see above). Call before the first Submit.
  using FullListener = std::function<void(bool full)>;
  void HoldReadsWhenFull(FullListener listener);

  // Queues `task`. False (with `*error` saying why, when given) when the lane has no listener and
  // `max_waiting` tasks already wait, or when no worker runs and none can be started: the task is then
  // destroyed unrun and uncancelled, and the caller answers for it.
  bool Submit(Task task, std::string* error = nullptr);

  // Runs the cancel function of every task still waiting, in order, on this thread.
  void CancelWaiting();

  const std::string& name() const;
  int max_workers() const;
  size_t waiting() const;   // tasks not yet started
  int running() const;      // tasks being run now
  int workers() const;      // worker threads alive now

 private:
  struct State;
  std::shared_ptr<State> state_;
  uint64_t waker_ = 0;  // its waker's key in the thread registry
};

}  // namespace runner
