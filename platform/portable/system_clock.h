// SystemClock: the Clock port over the standard library's clocks.
#pragma once

#include <thread>

#include "platform/clock.h"

namespace platform {

class SystemClock : public Clock {
 public:
  std::chrono::steady_clock::time_point Now() const override { return std::chrono::steady_clock::now(); }
  std::chrono::system_clock::time_point WallNow() const override { return std::chrono::system_clock::now(); }
  void SleepFor(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }
};

}  // namespace platform
