// Text on the channels is UTF-8, in both directions; the interface's decoder refuses anything else, and a
// reply it cannot decode is an answer lost.
//
// The rule for calls: a call whose arguments hold a string (or a map key) that is not well-formed UTF-8,
// at any depth, is not handed to its handler. It is answered as malformed: on `printing_channel` with
// "INVALID_ARGUMENTS" naming the argument key that holds it, on the other channels with null, their
// answer for arguments they cannot read. So no path or name that is not UTF-8 is ever opened, stored or
// echoed back.
// Replies: text that comes from the system rather than from the call (a printer's or a paper's name, an
// exception's text) is checked as the answer goes out, and each ill-formed part becomes U+FFFD, with one
// log line.
// Pure functions, thread-compatible.
#pragma once

#include <optional>
#include <string>

#include "runner/channels/channel.h"

namespace runner {

// Where in `arguments` (may be null) the first text that is not UTF-8 is: "key 'imagePaths'" (the
// argument key holding it, itself made readable), "element 3" of a list argument, "the argument" for a
// bare string; nullopt when every text is well-formed.
std::optional<std::string> FindTextThatIsNotUtf8(const EncodableValue* arguments);

// Whether every string and map key in `value` is well-formed UTF-8.
bool AllTextIsUtf8(const EncodableValue& value);

// Replaces each ill-formed part of every string and map key in `value` by U+FFFD; true when it changed
// anything.
bool MakeTextUtf8(EncodableValue& value);
bool MakeTextUtf8(std::string& text);

}  // namespace runner
