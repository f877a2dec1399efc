// Text conversion between UTF-8 (the channels) and UTF-16 (names handed to and read from the system).
//
// Both directions:
//   - convert the text up to its first NUL character (the rest is ignored);
//   - give an empty result for an empty input;
//   - never reject input: each ill-formed part is replaced by U+FFFD, as the system's default-flag
//     conversion does. In UTF-8 every maximal ill-formed subpart (a stray continuation byte, a truncated
//     sequence, an overlong form, an encoded surrogate, a value above U+10FFFF) becomes one U+FFFD; in
//     UTF-16 every unpaired surrogate becomes one U+FFFD.
// Pure functions, thread-safe.
#pragma once

#include <string>
#include <string_view>

namespace runner {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// Whether the whole of `text` (NUL characters included) is well-formed UTF-8.
bool IsValidUtf8(std::string_view text);

}  // namespace runner
