// RegistrySettingsStore: RegGetValueW / RegCreateKeyExW / RegSetValueExW under HKEY_CURRENT_USER.
#include "platform/win32/registry_settings_store.h"

#include "platform/win32/windows_api.h"

#include "platform/win32/wide_text.h"
#include "platform/win32/win_file_calls.h"

namespace platform {
namespace {

// Values are small (the colour profile's caller keeps 255 bytes); a larger one is not ours to read.
constexpr DWORD kMaxValueBytes = 64 * 1024;

}  // namespace

std::optional<std::string> RegistrySettingsStore::Get(const std::string& name) const {
  const std::optional<std::wstring> value_name = win32::Widen(name);
  if (!value_name || value_name->empty()) return std::nullopt;
  DWORD bytes = 0;
  // RRF_RT_REG_SZ: another type is refused; the text read is always NUL-terminated by the call.
  LSTATUS status = ::RegGetValueW(HKEY_CURRENT_USER, key_path_.c_str(), value_name->c_str(), RRF_RT_REG_SZ,
                                  nullptr, nullptr, &bytes);
  if (status != ERROR_SUCCESS || bytes > kMaxValueBytes) return std::nullopt;
  std::wstring text(bytes / sizeof(wchar_t) + 1, L'\0');
  bytes = static_cast<DWORD>(text.size() * sizeof(wchar_t));
  status = ::RegGetValueW(HKEY_CURRENT_USER, key_path_.c_str(), value_name->c_str(), RRF_RT_REG_SZ, nullptr,
                          text.data(), &bytes);
  if (status != ERROR_SUCCESS) return std::nullopt;
  text.resize(wcsnlen(text.c_str(), text.size()));
  return win32::Narrow(text);
}

base::Status RegistrySettingsStore::Set(const std::string& name, const std::string& value) {
  const std::string where = "HKEY_CURRENT_USER\\" + win32::Narrow(key_path_) + "\\" + name;
  const std::optional<std::wstring> value_name = win32::Widen(name);
  const std::optional<std::wstring> text = win32::Widen(value);
  if (!value_name || value_name->empty() || !text || value.find_first_of("\r\n") != std::string::npos) {
    return base::Status::InvalidArgument(where + ": a name or value the registry cannot keep");
  }
  HKEY key = nullptr;
  const LSTATUS opened = ::RegCreateKeyExW(HKEY_CURRENT_USER, key_path_.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                                           KEY_SET_VALUE, nullptr, &key, nullptr);
  if (opened != ERROR_SUCCESS) {
    return base::Status::Unavailable(FileStatusFromWin32(static_cast<unsigned long>(opened), where).message());
  }
  const DWORD bytes = static_cast<DWORD>((text->size() + 1) * sizeof(wchar_t));
  const LSTATUS status = ::RegSetValueExW(key, value_name->c_str(), 0, REG_SZ,
                                          reinterpret_cast<const BYTE*>(text->c_str()), bytes);
  ::RegCloseKey(key);
  if (status != ERROR_SUCCESS) return FileStatusFromWin32(static_cast<unsigned long>(status), where);
  return base::Status::Ok();
}

}  // namespace platform
