// A comma-decimal locale on Windows: the C runtime names its locales in English.
#include "tests/support/comma_locale.h"

#include <clocale>
#include <initializer_list>

namespace test_support {

bool SwitchToCommaDecimalLocale() {
  for (const char* name : {"German_Germany.1252", "French_France.1252"}) {
    if (std::setlocale(LC_NUMERIC, name)) return true;
  }
  return false;
}

}  // namespace test_support
