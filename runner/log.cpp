// The application's diagnostic lines, written through the embedding's whole-line writer.
#include "runner/log.h"

#include <string>

#include <unistd.h>

#include "base/log_line.h"

namespace runner {
namespace {

std::string WithLineFeed(std::string_view line) {
  std::string text;
  text.reserve(line.size() + 1);
  text.append(line);
  text.push_back('\n');
  return text;
}

}  // namespace

void LogLine(std::string_view line) { flutter::LogLine(line); }

void LogRelayedLines(std::string_view text) {
  std::string lines;
  lines.reserve(text.size() + 1);
  while (!text.empty()) {
    const size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.append(base::EscapeLogLine(line));
    lines.push_back('\n');
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  if (!lines.empty()) flutter::WriteWhole(STDERR_FILENO, lines);
}

void LogLineRateLimited(std::string_view line) { flutter::LogInputLine(line); }

void OutputLine(std::string_view line) {
  flutter::WriteWhole(STDOUT_FILENO, WithLineFeed(base::EscapeLogLine(line)));
}

}  // namespace runner
