// The application's diagnostic lines: "DEBUG: ", "DEBUG C++: ", "INFO: ", "ERROR: ", "FATAL: " and the
// others the channels define, on standard error.
//
// Every line is written whole with one write(2) of the whole line and its line feed, so lines from
// worker threads may interleave with each other but never inside a line. Nothing is buffered in stdio, so
// the order against fprintf(stderr) output of the same thread is kept as long as that output is flushed.
// Thread safety: every function may be called from any thread.
#pragma once

#include <string_view>

#include "flutter/log.h"

namespace runner {

// Writes `line` and a line feed to standard error in one write (retried after a partial write). What a
// caller supplied inside the line (a path holding a line feed, a terminal escape, a bidirectional control)
// is written escaped (base/log_line.h), so what a caller sends can never forge a line.
void LogLine(std::string_view line);

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

}  // namespace runner
