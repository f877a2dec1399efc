// A process locale whose decimal point is a comma, for tests of number reading and writing.
#pragma once

namespace test_support {

// Switches LC_NUMERIC to a locale whose decimal point is a comma and returns true; false when none is
// installed and none was compiled for this test run. The caller restores the previous locale.
// On POSIX an installed German or French locale is used, else the one the CTest fixture "comma_locale"
// compiles once per run into the build folder (tests/support/CMakeLists.txt); tests that call this
// require that fixture.
bool SwitchToCommaDecimalLocale();

}  // namespace test_support
