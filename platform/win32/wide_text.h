// Text at the Win32 adapters' edge: UTF-8 (the ports) to UTF-16 (the system calls) and back, through the
// project's one conversion (base/utf8.h). Internal to platform/win32/.
// Pure functions, thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform::win32 {

// The UTF-16 form of UTF-8 `text`; nothing when it is not well-formed UTF-8 or holds a NUL (a system
// call would see a shorter name than the one asked for).
std::optional<std::wstring> Widen(std::string_view text);

// The UTF-8 form of UTF-16 `text` up to its first NUL (an unpaired surrogate becomes U+FFFD).
std::string Narrow(std::wstring_view text);

// The UTF-8 form of a NUL-terminated UTF-16 field of at most `max_units` units (fixed-size fields of
// system records need not end in NUL).
std::string NarrowField(const wchar_t* field, size_t max_units);

// A path as the system's calls take it: UTF-16 with '/' turned into '\'; nothing as Widen says.
std::optional<std::wstring> SystemPath(std::string_view utf8_path);

}  // namespace platform::win32
