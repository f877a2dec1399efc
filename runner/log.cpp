// The application's diagnostic lines, written through the embedding's whole-line writer.
#include "runner/log.h"

#include <string>
#include <utility>

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

thread_local std::shared_ptr<CallLogBudget> current_budget;

bool WithinBudget() { return current_budget == nullptr || current_budget->Take(); }

}  // namespace

void LogLine(std::string_view line) {
  if (WithinBudget()) flutter::LogLine(line);
}

void LogEndingLine(std::string_view line) { flutter::LogLine(line); }

CallLogBudget::CallLogBudget(std::string what, int lines) : what_(std::move(what)), lines_(lines) {}

CallLogBudget::~CallLogBudget() {
  const long long left_out = taken_.load() - lines_;
  if (left_out > 0) {
    flutter::LogLine("INFO: " + std::to_string(left_out) + " more log lines about " + what_ + " were left out");
  }
}

bool CallLogBudget::Take() { return taken_.fetch_add(1) < lines_; }

CallLogScope::CallLogScope(std::shared_ptr<CallLogBudget> budget) : previous_(std::move(current_budget)) {
  current_budget = std::move(budget);
}

CallLogScope::~CallLogScope() { current_budget = std::move(previous_); }

std::shared_ptr<CallLogBudget> CurrentCallLogBudget() { return current_budget; }

void LogRelayedLines(std::string_view text) {
  if (text.empty() || !WithinBudget()) return;
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
