// Text conversions of the Win32 adapters, over MultiByteToWideChar / WideCharToMultiByte.
#include "platform/win32/wide_text.h"

#include "platform/win32/windows_api.h"

#include <algorithm>

namespace platform::win32 {

std::optional<std::wstring> Widen(std::string_view text) {
  if (text.empty()) return std::wstring();
  if (text.find('\0') != std::string_view::npos || text.size() > 0x7FFFFFFF) return std::nullopt;
  const int size = static_cast<int>(text.size());
  const int units = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (units <= 0) return std::nullopt;
  std::wstring wide(static_cast<size_t>(units), L'\0');
  ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(), units);
  return wide;
}

std::string Narrow(std::wstring_view text) {
  if (text.empty() || text.size() > 0x7FFFFFFF) return {};
  const int size = static_cast<int>(text.size());
  const int bytes = ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (bytes <= 0) return {};
  std::string narrow(static_cast<size_t>(bytes), '\0');
  ::WideCharToMultiByte(CP_UTF8, 0, text.data(), size, narrow.data(), bytes, nullptr, nullptr);
  return narrow;
}

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
