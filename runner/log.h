// The application's diagnostic lines: "DEBUG: ", "DEBUG C++: ", "INFO: ", "ERROR: ", "FATAL: " and the
// others the channels define, on standard error.
//
// Every line is written whole with one write(2) of the whole line and its line feed, so lines from
// worker threads may interleave with each other but never inside a line. Nothing is buffered in stdio, so
// the order against fprintf(stderr) output of the same thread is kept as long as that output is flushed.
// Thread safety: every function may be called from any thread.
#pragma once

#include <atomic>
#include <memory>
#include <string>
#include <string_view>

#include "flutter/log.h"

namespace runner {

// Writes `line` and a line feed to standard error in one write (retried after a partial write). What a
// caller supplied inside the line (a path holding a line feed, a terminal escape, a bidirectional control)
// is written escaped (base/log_line.h), so what a caller sends can never forge a line.
void LogLine(std::string_view line);

// Writes `line` like LogLine whatever the call's log budget (below): the line that says why a call's
// work stopped is never among those left out.
void LogEndingLine(std::string_view line);

// Writes `line` like LogLine unless more than `kRateLimitBurst` rate-limited lines were already written in
// the current second; then the line is dropped and counted, and the first line written after the quiet
// period says how many were dropped. For lines caused by the peer's input (malformed frames, bad
// arguments), so a flood of garbage cannot fill standard error faster than it drains. The budget is the
// one the transports use for their own lines about client input.
void LogLineRateLimited(std::string_view line);

inline constexpr int kRateLimitBurst = flutter::kLogBurstPerSecond;

// Writes `line` (escaped as LogLine does) and a line feed to standard output in one write, for the few
// notices that the system sends there (the colour-profile lines).
void OutputLine(std::string_view line);
// Writes the lines of `text`, output relayed from another program, to standard error in one write, each
// escaped as LogLine does and ended by a line feed (a line's carriage return before its line feed is
// dropped; a last line without a line feed gets one).
void LogRelayedLines(std::string_view text);

// The system's id of the calling thread, as log lines name threads (runner/thread_id_*.cpp).
long CurrentThreadId();

// The log lines the work of one call may write: the first kLinesPerCall go out as usual, the rest are
// counted, and once the work is done one line says how many were left out ("INFO: 439902 more log lines
// about printImagesToPrinter were left out"). So a call naming 20,000 missing photos costs the log a
// screenful, not half a million lines. Relayed helper output counts as one line per write.
// Thread safety: Take may be called from any thread.
class CallLogBudget {
 public:
  static constexpr int kLinesPerCall = 100;

  explicit CallLogBudget(std::string what, int lines = kLinesPerCall);
  // Writes the summary line when lines were left out.
  ~CallLogBudget();
  CallLogBudget(const CallLogBudget&) = delete;
  CallLogBudget& operator=(const CallLogBudget&) = delete;

  // True when one more line may be written; false (and counted) when the budget is spent.
  bool Take();

 private:
  const std::string what_;
  const int lines_;
  std::atomic<long long> taken_{0};
};

// While a scope lives, the lines its thread writes through LogLine and LogRelayedLines draw on `budget`
// (scopes nest: the innermost counts). Work a call hands to other threads installs a scope there too, with
// CurrentCallLogBudget().
class CallLogScope {
 public:
  explicit CallLogScope(std::shared_ptr<CallLogBudget> budget);
  ~CallLogScope();
  CallLogScope(const CallLogScope&) = delete;
  CallLogScope& operator=(const CallLogScope&) = delete;

 private:
  std::shared_ptr<CallLogBudget> previous_;
};

// The budget of the call this thread works for, or null.
std::shared_ptr<CallLogBudget> CurrentCallLogBudget();

}  // namespace runner
