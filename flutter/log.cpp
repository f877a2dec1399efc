// The stand-in's diagnostic lines (WriteWhole is written for each platform: write_whole_*.cpp).
#include "flutter/log.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>

#include <unistd.h>

#include "base/log_line.h"

namespace flutter {
namespace {

struct InputLineWindow {
  std::mutex mutex;
  std::chrono::steady_clock::time_point second_start{};
  int written = 0;
  long long dropped = 0;
};

}  // namespace

void LogLine(std::string_view line) {
  std::string text = base::EscapeLogLine(line);
  text.push_back('\n');
  WriteWhole(STDERR_FILENO, text);
}

void LogInputLine(std::string_view line) {
  static InputLineWindow window;
  long long dropped_before = 0;
  {
    std::lock_guard lock(window.mutex);
    const auto now = std::chrono::steady_clock::now();
    if (now - window.second_start >= std::chrono::seconds(1)) {
      window.second_start = now;
      window.written = 0;
      dropped_before = window.dropped;
      window.dropped = 0;
    }
    if (window.written >= kLogBurstPerSecond) {
      ++window.dropped;
      return;
    }
    ++window.written;
  }
  if (dropped_before > 0) {
    LogLine("INFO: " + std::to_string(dropped_before) + " similar lines were dropped in the last second");
  }
  LogLine(line);
}

}  // namespace flutter
