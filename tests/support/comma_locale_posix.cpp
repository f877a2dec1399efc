// A comma-decimal locale: an installed one, or the one compiled once per test run with localedef (from
// the locale sources of Debian's "locales" package) into PICTAVERA_TEST_LOCALE_DIR.
#include "tests/support/comma_locale.h"

#include <clocale>
#include <cstdlib>
#include <filesystem>

namespace test_support {

bool SwitchToCommaDecimalLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name)) return true;
  }
  const std::filesystem::path folder = PICTAVERA_TEST_LOCALE_DIR;
  std::error_code error;
  if (!std::filesystem::exists(folder / "de_DE.UTF-8", error)) return false;
  setenv("LOCPATH", folder.c_str(), 1);  // glibc reads it at every setlocale
  const bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  unsetenv("LOCPATH");
  return switched;
}

}  // namespace test_support
