// The stand-in's diagnostic lines (WriteWhole is written for each platform: write_whole_*.cpp).
#include "flutter/log.h"

#include <cerrno>
#include <chrono>
#include <mutex>
#include <string>

#include <unistd.h>

namespace flutter {
namespace {

struct InputLineWindow {
  std::mutex mutex;
  std::chrono::steady_clock::time_point second_start{};
  int written = 0;
  long long dropped = 0;
};

}  // namespace

std::string EscapeControlCharacters(std::string_view text) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte != 0x7F) {
      escaped.push_back(c);
    } else if (c == '\n') {
      escaped.append("\\n");
    } else if (c == '\r') {
      escaped.append("\\r");
    } else if (c == '\t') {
      escaped.append("\\t");
    } else {
      escaped.append("\\x");
      escaped.push_back(kHex[byte >> 4]);
      escaped.push_back(kHex[byte & 0xF]);
    }
  }
  return escaped;
}

void LogLine(std::string_view line) {
  std::string text = EscapeControlCharacters(line);
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
