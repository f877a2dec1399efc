// Text conversions of the Win32 adapters: the project's one conversion (base/utf8.h), in wchar_t.
#include "platform/win32/wide_text.h"

#include <algorithm>

#include "base/utf8.h"

namespace platform::win32 {

// wchar_t is 16 bits wide on Windows: the units are copied as they are.
static_assert(sizeof(wchar_t) == sizeof(char16_t));

std::optional<std::wstring> Widen(std::string_view text) {
  const std::optional<std::u16string> name = base::SystemName(text);
  if (!name) return std::nullopt;
  return std::wstring(name->begin(), name->end());
}

std::string Narrow(std::wstring_view text) { return base::Utf16ToUtf8(std::u16string(text.begin(), text.end())); }

std::string NarrowField(const wchar_t* field, size_t max_units) {
  if (field == nullptr) return {};
  const wchar_t* end = std::find(field, field + max_units, L'\0');
  return Narrow(std::wstring_view(field, static_cast<size_t>(end - field)));
}

std::optional<std::wstring> SystemPath(std::string_view utf8_path) {
  std::optional<std::wstring> wide = Widen(utf8_path);
  if (wide) std::replace(wide->begin(), wide->end(), L'/', L'\\');
  return wide;
}

}  // namespace platform::win32
