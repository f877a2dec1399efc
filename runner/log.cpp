// The application's diagnostic lines: one write per line, and a rate limit for lines caused by input.
#include "runner/log.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>

#include <poll.h>
#include <unistd.h>

namespace runner {
namespace {

void WriteWhole(const std::string& text, int fd = STDERR_FILENO) {
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      // Standard error may share a non-blocking description; a short wait keeps the line whole.
      pollfd fd{STDERR_FILENO, POLLOUT, 0};
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && ::poll(&fd, 1, 100) > 0) continue;
      return;  // standard error is gone or stuck; there is nowhere to report it
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
}

struct RateWindow {
  std::mutex mutex;
  std::chrono::steady_clock::time_point second_start{};
  int written = 0;
  long long dropped = 0;
};

RateWindow& Window() {
  static RateWindow window;
  return window;
}

}  // namespace

void LogLine(std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line);
  text.push_back('\n');
  WriteWhole(text);
}

void LogText(std::string_view text) { WriteWhole(std::string(text)); }

void LogLineRateLimited(std::string_view line) {
  RateWindow& window = Window();
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
    if (window.written >= kRateLimitBurst) {
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

void OutputLine(std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line);
  text.push_back('\n');
  WriteWhole(text, STDOUT_FILENO);
}

}  // namespace runner
