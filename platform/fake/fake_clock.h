// FakeClock: a Clock whose time moves only when told to (or by SleepFor), for tests of timed logic.
#pragma once

#include <mutex>

#include "platform/clock.h"

namespace platform {

// Thread safety: every method may be called from any thread.
class FakeClock : public Clock {
 public:
  std::chrono::steady_clock::time_point Now() const override {
    std::lock_guard lock(mutex_);
    return std::chrono::steady_clock::time_point(elapsed_);
  }
  std::chrono::system_clock::time_point WallNow() const override {
    std::lock_guard lock(mutex_);
    return wall_start_ + std::chrono::duration_cast<std::chrono::system_clock::duration>(elapsed_);
  }
  // Returns at once; the clock moves on by `duration` and the total slept is recorded.
  void SleepFor(std::chrono::milliseconds duration) override {
    std::lock_guard lock(mutex_);
    elapsed_ += duration;
    slept_ += duration;
  }

  void Advance(std::chrono::milliseconds duration) {
    std::lock_guard lock(mutex_);
    elapsed_ += duration;
  }
  // The wall time at elapsed zero (default: the epoch).
  void SetWallStart(std::chrono::system_clock::time_point start) {
    std::lock_guard lock(mutex_);
    wall_start_ = start;
  }
  std::chrono::milliseconds slept() const {
    std::lock_guard lock(mutex_);
    return slept_;
  }

 private:
  mutable std::mutex mutex_;
  std::chrono::steady_clock::duration elapsed_{};
  std::chrono::milliseconds slept_{};
  std::chrono::system_clock::time_point wall_start_{};
};

}  // namespace platform
