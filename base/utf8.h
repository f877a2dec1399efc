// UTF-8 and UTF-16, written once for both programs: the validity checks and the conversions.
//
// One rule for ill-formed input, in both directions: each maximal ill-formed subpart of UTF-8 (a stray
// continuation byte, a truncated sequence, an overlong form, an encoded surrogate, a value above
// U+10FFFF) and each unpaired surrogate of UTF-16 becomes one U+FFFD, as the system's default-flag
// conversion does. Text that must reach the system exactly as it was given (a name to open or store)
// goes through SystemName instead, which refuses what it could only change.
// The conversions take the text up to its first NUL character, as the system's do.
// Pure functions, thread-safe.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace base {

inline constexpr char32_t kReplacementCharacter = 0xFFFD;

// Decodes the code point at text[*pos] and moves *pos past it: a whole well-formed sequence, or for an
// ill-formed subpart nothing, past the maximal prefix that could still have been well-formed (at least
// one byte). *pos must be below text.size().
std::optional<char32_t> DecodeUtf8(std::string_view text, size_t* pos);
// Appends the UTF-8 form of `code_point` (a Unicode scalar value).
void AppendUtf8(std::string& out, char32_t code_point);

// Whether the whole of `text` (NUL characters included) is well-formed.
bool IsValidUtf8(std::string_view text);
bool IsValidUtf16(std::u16string_view text);

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// The UTF-16 form of a name handed to the system; nothing when `utf8` is not well-formed or holds a NUL
// (the system would otherwise act on another name than the one asked for).
std::optional<std::u16string> SystemName(std::string_view utf8);

}  // namespace base
