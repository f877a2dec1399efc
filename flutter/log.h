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
// one event: control characters inside it (text a caller supplied, such as a file name holding a line
// feed or a terminal escape) are written escaped, so no line can forge another or steer a terminal.
void LogLine(std::string_view line);

// `text` with every control character (below 0x20, and 0x7F) written as an escape: \n, \r, \t, or \xHH
// in lower-case hexadecimal. Other bytes, UTF-8 sequences and backslashes included, stay as they are.
std::string EscapeControlCharacters(std::string_view text);

// Like LogLine, but at most kLogBurstPerSecond such lines a second; the rest are counted and the next
// line written says how many were dropped. For lines caused by what a client sends (malformed frames),
// so a flood of garbage cannot make the host spend its time on a full standard error.
void LogInputLine(std::string_view line);

inline constexpr int kLogBurstPerSecond = 20;

}  // namespace flutter
