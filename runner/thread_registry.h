// ThreadRegistry: the background threads of the channel handlers, owned and joined when the window closes.
//
// A handler that answers later (a print job, a face batch, a background sheet job) starts its thread here
// instead of detaching it, so that no thread outlives the window whose services it uses. Threads that
// have finished are joined the next time a thread starts, so a long session does not accumulate them.
// Usage:
//   std::string error;
//   if (!services.threads->Start("print job", [result = std::move(result)]() mutable { ... }, &error)) {
//     // answer the call here: the thread could not be started, `error` says why
//   }
// Thread safety: every method may be called from any thread; JoinAll never from a registered thread.
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <map>
#include <string>
#include <thread>

namespace runner {

class ThreadRegistry {
 public:
  ThreadRegistry() = default;
  // Joins every thread still registered.
  ~ThreadRegistry();
  ThreadRegistry(const ThreadRegistry&) = delete;
  ThreadRegistry& operator=(const ThreadRegistry&) = delete;

  // Runs `work` on a new thread named `name` (used in log lines). An exception escaping `work` is logged
  // ("ERROR: uncaught exception in <name>: <text>") and ends the thread. Returns false, with `*error` (when
  // given) set to the system's reason, when the thread cannot be started; `work` is then destroyed unrun.
  bool Start(std::string name, std::function<void()> work, std::string* error = nullptr);

  // Tells the threads to stop (stopping() turns true), then joins every registered thread, including
  // those started while it waits. Returns with none registered; stopping() is false again afterwards.
  void JoinAll();

  // True while JoinAll waits, or once RequestStop was called: long work checks it between steps and ends
  // early where its operation allows (a face batch after its current picture, a print job at its next
  // page, a bake before its next image); lanes cancel the tasks that have not started.
  bool stopping() const { return stopping_.load(); }

  // Tells the threads to stop (stopping() turns true) without waiting for them.
  void RequestStop();

  // Calls `wake` each time stopping() turns true, on the thread that asked, so that a thread waiting on
  // a condition of its own sees the request at once instead of at its next look. `wake` may be called
  // until a little after RemoveWaker returns (it must check that what it wakes still exists); it is
  // called without the registry's lock held. Returns the key for RemoveWaker.
  uint64_t AddWaker(std::function<void()> wake);
  void RemoveWaker(uint64_t key);

  // As JoinAll, but gives up at `deadline`: false when threads were still running then. They stay
  // registered (and must not be destroyed): the caller then ends the process without unwinding.
  bool JoinAllUntil(std::chrono::steady_clock::time_point deadline);

  // Threads registered and not yet joined.
  size_t size() const;

 private:
  struct Entry {
    std::thread thread;
    std::shared_ptr<std::atomic<bool>> finished;
  };
  void ReapFinishedLocked();
  void StopAndWake();

  mutable std::mutex mutex_;
  std::list<Entry> entries_;
  std::atomic<bool> stopping_{false};
  std::map<uint64_t, std::function<void()>> wakers_;
  uint64_t next_waker_ = 0;
};

}  // namespace runner
