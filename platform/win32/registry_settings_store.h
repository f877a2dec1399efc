// RegistrySettingsStore: the SettingsStore as string values of one key of the current user's registry
// (HKEY_CURRENT_USER\Software\PictaVera\Printing for the application: "ColorProfile" lives there).
#pragma once

#include <string>

#include "platform/settings_store.h"

namespace platform {

inline constexpr wchar_t kPrintingSettingsKey[] = L"Software\\PictaVera\\Printing";

// Each name is one REG_SZ value of the key; the value's text is UTF-8 on the port and UTF-16 in the
// registry. Get reads the registry every time (a change by another process is seen); a value stored under
// another type (a number, binary) reads as nothing. Set creates the key when it is missing (kUnavailable,
// with the system's message, when it cannot); a value the registry refuses is a kind by
// FileStatusFromWin32 (win32/win_file_calls.h). The registry
// serialises writers itself: the last one wins, each value stays whole.
// Thread safety: every method may be called from any thread.
class RegistrySettingsStore : public SettingsStore {
 public:
  // `key_path` under HKEY_CURRENT_USER.
  explicit RegistrySettingsStore(std::wstring key_path = kPrintingSettingsKey) : key_path_(std::move(key_path)) {}

  std::optional<std::string> Get(const std::string& name) const override;
  base::Status Set(const std::string& name, const std::string& value) override;

 private:
  std::wstring key_path_;
};

}  // namespace platform
