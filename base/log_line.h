// EscapeLogLine: the one escaping of everything either program writes to standard error (and the host's
// few standard-output notices), the helper's lines that the host copies included.
//
// A log line is one event: text a caller supplied (a file name, a printer name, a channel name) must not
// end it early, forge another, steer a terminal or turn the rest of the line around. So these are
// written as escapes, and nothing else is changed (backslashes stay as they are, so Windows paths read as
// they are):
//   - C0 controls and DEL: \n, \r, \t, or \xHH (lower-case hexadecimal);
//   - C1 controls (U+0080 to U+009F) and the bidirectional controls (U+061C, U+200E, U+200F, U+202A to
//     U+202E, U+2066 to U+2069): \u followed by four hexadecimal digits;
//   - bytes that are not well-formed UTF-8: \xHH each, so the line stays valid UTF-8 and a lone byte of
//     0x80 to 0x9F never reaches an 8-bit terminal as a control.
// Pure function, thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace base {

std::string EscapeLogLine(std::string_view line);

}  // namespace base
