// The application's diagnostic lines, written through the embedding's whole-line writer.
#include "runner/log.h"

#include <string>

#include <unistd.h>

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

void LogText(std::string_view text) { flutter::WriteWhole(STDERR_FILENO, text); }

void LogLineRateLimited(std::string_view line) { flutter::LogInputLine(line); }

void OutputLine(std::string_view line) {
  flutter::WriteWhole(STDOUT_FILENO, WithLineFeed(flutter::EscapeControlCharacters(line)));
}

}  // namespace runner
