// WakePipe: the one way to wake a poll loop from another thread or from a signal handler.
//
// A non-blocking pipe whose read end the loop polls; on Windows, where nothing polls a pipe, a
// manual-reset event the loop waits for, set while a notification is pending (wake_pipe_win.cpp). Two
// ways to notify it:
// - Notify writes one byte per call, so each notification counts until it is taken (TakeOne takes one,
//   Clear takes them all): for the few events a host counts, such as a first and a second stop.
// - NotifyOnce writes at most one byte until the loop calls Clear: for busy notifiers (an answering
//   thread per reply), which then pay one atomic exchange per call.
// A full pipe already wakes the loop, so a write that fails for want of room loses nothing.
// Thread safety: every method may be called from any thread at once; Notify and NotifyOnce are
// async-signal-safe, and a signal handler that keeps only an int may write a byte to notify_fd().
#pragma once

#include <atomic>

namespace flutter::engine {

class WakePipe {
 public:
  // Aborts, with one "FATAL: " line, when no pipe can be made.
  WakePipe();
  ~WakePipe();
  WakePipe(const WakePipe&) = delete;
  WakePipe& operator=(const WakePipe&) = delete;

  void Notify() const;
  void NotifyOnce() const;
  // Forgets every notification so far, so that the next one is seen anew. A loop calls it before it
  // looks at what the notifiers changed.
  void Clear() const;
  // Forgets one notification (the one a loop returned for); later ones stay.
  void TakeOne() const;

  // The descriptor that becomes readable once notified (POSIX; -1 on Windows).
  int fd() const { return fds_[0]; }
  // The descriptor the notifications are written to (POSIX; -1 on Windows).
  int notify_fd() const { return fds_[1]; }
  // The event handle that is signalled while notified (Windows; null elsewhere).
  void* event() const { return event_; }

 private:
  int fds_[2] = {-1, -1};
  void* event_ = nullptr;
  mutable std::atomic<int> count_{0};  // Windows: notifications not yet taken
  mutable std::atomic<bool> pending_{false};  // NotifyOnce wrote a byte that Clear has not taken yet
};

}  // namespace flutter::engine
