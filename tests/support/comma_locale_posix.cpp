// A comma-decimal locale: an installed one, or one compiled into a temporary folder with localedef (from
// the locale sources of Debian's "locales" package).
#include "tests/helper/comma_locale.h"

#include <unistd.h>

#include <clocale>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace mosalith::testing {

bool SwitchToCommaDecimalLocale() {
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_NUMERIC, name)) return true;
  }
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("grid_job_locale_" + std::to_string(getpid()));
  std::filesystem::create_directories(folder);
  const std::string command =
      "localedef -i de_DE -f UTF-8 '" + (folder / "de_DE.UTF-8").string() + "' >/dev/null 2>&1";
  if (std::system(command.c_str()) != 0) return false;
  setenv("LOCPATH", folder.c_str(), 1);  // glibc reads it at every setlocale
  const bool switched = std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr;
  unsetenv("LOCPATH");
  std::filesystem::remove_all(folder);  // a locale in use stays mapped
  return switched;
}

}  // namespace mosalith::testing
