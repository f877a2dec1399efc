// Tests for the registry settings store, against Wine's registry.
#include "platform/win32/registry_settings_store.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace platform {
namespace {

constexpr char kName[] = "ColorProfile";
// Latin, CJK and an emoji: UTF-8 on the port, UTF-16 in the registry.
constexpr char kValue[] = "Fotopapier gl\xC3\xA4nzend \xE5\x86\x99\xE7\x9C\x9F \xF0\x9F\x98\x80";
constexpr wchar_t kValueWide[] = L"Fotopapier gl\u00E4nzend \u5199\u771F \U0001F600";

std::wstring RawValue(const wchar_t* key, const wchar_t* name) {
  wchar_t text[256] = {};
  DWORD bytes = sizeof text;
  if (::RegGetValueW(HKEY_CURRENT_USER, key, name, RRF_RT_REG_SZ, nullptr, text, &bytes) != ERROR_SUCCESS) return L"<none>";
  return text;
}

TEST(RegistrySettingsStoreTest, ColorProfileRoundTripsThroughTheUsersPrintingKey) {
  RegistrySettingsStore store;
  ASSERT_TRUE(store.Set(kName, kValue).ok());
  EXPECT_EQ(store.Get(kName), kValue);
  // Where other programs (and an earlier version of the application) look for it, as UTF-16 text.
  EXPECT_EQ(RawValue(L"Software\\PictaVera\\Printing", L"ColorProfile"), kValueWide);

  ASSERT_TRUE(store.Set("Other", "kept").ok());
  ASSERT_TRUE(store.Set(kName, "").ok());
  EXPECT_EQ(store.Get(kName), "");
  EXPECT_EQ(store.Get("Other"), "kept");
}

TEST(RegistrySettingsStoreTest, MissingKeysValuesAndOtherTypesReadAsNothing) {
  const std::wstring key = L"Software\\PictaVera\\Tests\\Store" + std::to_wstring(::GetCurrentProcessId());
  RegistrySettingsStore store(key);
  EXPECT_EQ(store.Get(kName), std::nullopt);  // no key yet
  ASSERT_TRUE(store.Set("Present", "1").ok());
  EXPECT_EQ(store.Get(kName), std::nullopt);  // key, no value

  HKEY handle = nullptr;
  ASSERT_EQ(::RegOpenKeyExW(HKEY_CURRENT_USER, key.c_str(), 0, KEY_SET_VALUE, &handle), ERROR_SUCCESS);
  const DWORD number = 7;
  ::RegSetValueExW(handle, L"Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), sizeof number);
  ::RegCloseKey(handle);
  EXPECT_EQ(store.Get("Number"), std::nullopt);
  ::RegDeleteTreeW(HKEY_CURRENT_USER, key.c_str());
}

TEST(RegistrySettingsStoreTest, ValuesWithLineBreaksOrBadTextAreRefusedAndChangeNothing) {
  RegistrySettingsStore store;
  ASSERT_TRUE(store.Set(kName, "before").ok());
  for (const std::string& refused : {std::string("two\nlines"), std::string("carriage\rreturn"),
                                     std::string("nul\0inside", 10), std::string("\xC3\x28")}) {  // the last: not UTF-8
    EXPECT_EQ(store.Set(kName, refused).code(), base::Status::Code::kInvalidArgument);
  }
  EXPECT_EQ(store.Get(kName), "before");
}

TEST(RegistrySettingsStoreTest, AKeyThatCannotBeMadeIsAnUnavailableStore) {
  // A key name longer than the registry's 255 characters.
  RegistrySettingsStore store(L"Software\\PictaVera\\Tests\\" + std::wstring(300, L'k'));
  const base::Status refused = store.Set(kName, "srgb");
  EXPECT_EQ(refused.code(), base::Status::Code::kUnavailable) << refused.ToString();
  EXPECT_EQ(refused.message().rfind("HKEY_CURRENT_USER\\Software\\PictaVera\\Tests\\kkk", 0), 0u) << refused.message();
  EXPECT_EQ(store.Get(kName), std::nullopt);
}

}  // namespace
}  // namespace platform
