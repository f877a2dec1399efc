// Clock: the time of the machine, for durations, names with the local date and time, and waits.
#pragma once

#include <chrono>

namespace platform {

// Thread safety: every method may be called from any thread.
class Clock {
 public:
  virtual ~Clock() = default;

  // Monotonic time, for durations ("... in 120ms"). Never goes back.
  virtual std::chrono::steady_clock::time_point Now() const = 0;

  // Wall-clock time, for names that carry the local date and time. May jump.
  virtual std::chrono::system_clock::time_point WallNow() const = 0;

  // Blocks the calling thread for `duration` (the fake returns at once and moves its time on).
  virtual void SleepFor(std::chrono::milliseconds duration) = 0;
};

}  // namespace platform
