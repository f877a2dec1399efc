// A process locale whose decimal point is a comma, for tests of number reading and writing.
#pragma once

namespace mosalith::testing {

// Switches LC_NUMERIC to a locale whose decimal point is a comma and returns true; false when none is
// installed and none can be compiled. The caller restores the previous locale.
bool SwitchToCommaDecimalLocale();

}  // namespace mosalith::testing
