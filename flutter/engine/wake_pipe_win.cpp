// WakePipe on Windows: a manual-reset event and a count of the notifications not yet taken.
//
// The event is set while the count is above zero. Every method resets the event before it changes the
// count and sets it again when some remain, so a notification racing with Clear or TakeOne at worst
// leaves the event set with nothing counted (one spurious wake-up), never a count with the event reset.
#include "flutter/engine/wake_pipe.h"

#include <cstdlib>
#include <string>

#include <windows.h>

#include "flutter/log.h"

namespace flutter::engine {

WakePipe::WakePipe() {
  event_ = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (event_ == nullptr) {
    LogLine("FATAL: cannot create the wake-up event: error " + std::to_string(::GetLastError()));
    std::abort();
  }
}

WakePipe::~WakePipe() { ::CloseHandle(event_); }

void WakePipe::Notify() const {
  count_.fetch_add(1);
  ::SetEvent(event_);
}

void WakePipe::NotifyOnce() const {
  if (pending_.exchange(true)) return;
  Notify();
}

void WakePipe::Clear() const {
  // As on POSIX, the notifications go before the flag drops, so a NotifyOnce after the flag is covered.
  ::ResetEvent(event_);
  count_.store(0);
  pending_.store(false);
}

void WakePipe::TakeOne() const {
  ::ResetEvent(event_);
  int count = count_.load();
  while (count > 0 && !count_.compare_exchange_weak(count, count - 1)) {
  }
  if (count_.load() > 0) ::SetEvent(event_);
}

}  // namespace flutter::engine
