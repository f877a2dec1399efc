// The stand-in's diagnostic lines on standard error: the channel layer's own lines and the engine's
// "ERROR: ..." and "INFO: ..." lines.
//
// Each line goes out whole in one write(2), so lines from several threads never mix inside a line. The
// stand-in keeps its own small writer because it depends on nothing of the application's.
// Thread safety: both functions may be called from any thread.
#pragma once

#include <string>
#include <string_view>

namespace flutter {

// Writes `text` as it is to `fd` in one write, retried after a partial write; when the descriptor is
// non-blocking and full, waits up to 100 ms at a time for room, so the text stays whole.
void WriteWhole(int fd, std::string_view text);

// Writes `line` and a line feed to standard error in one write (retried after a partial write). A line is
// one event: what a caller supplied inside it (a file name holding a line feed, a terminal escape, a
// bidirectional control) is written escaped by base::EscapeLogLine, so no line can forge another or
// steer a terminal.
void LogLine(std::string_view line);

// Like LogLine, but at most kLogBurstPerSecond such lines a second; the rest are counted and the next
// line written says how many were dropped. For lines caused by what a client sends (malformed frames),
// so a flood of garbage cannot make the host spend its time on a full standard error.
void LogInputLine(std::string_view line);

inline constexpr int kLogBurstPerSecond = 20;

}  // namespace flutter
