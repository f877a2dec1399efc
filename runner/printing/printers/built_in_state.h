// The built-in PDF printer's state as a few name=value lines of a settings store: whether the user chose
// it as the default printer, and its settings.
//
//   default=1          chosen as the default printer (0 or absent: not chosen)
//   fields=16643       the settings' field flags, decimal; present exactly when settings are stored
//   orientation=1 paper=9 paperLength=2970 paperWidth=2100 copies=1 quality=300 color=1 yResolution=300
//                      one line each, present for each flag set (numbers, decimal)
//   formName=A4        when its flag is set; "\" written "\\", CR "\r" and LF "\n"
//   options=a=b c="d e"  the printer's own options as the settings record's tail text, when any
//
// The previous version kept the settings as one "record=<hex of a 1244-byte settings record>" line; such
// a line is still read when no "fields" line is there, and removed at the next write. Settings lines that
// cannot be read (a flag set without its value, a number out of range) leave the printer on its
// defaults, as an unreadable record did.
// Pure functions, thread-safe.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "platform/spooler.h"

namespace runner::printing {

struct BuiltInState {
  bool is_default = false;
  std::optional<platform::PrintSettings> settings;

  friend bool operator==(const BuiltInState&, const BuiltInState&) = default;
};

// Every name the state may use (for one read of the store).
std::vector<std::string> BuiltInStateNames();

// The state the stored values describe (names not stored count as absent).
BuiltInState ReadBuiltInState(const std::map<std::string, std::string>& values);

// The changes that store `state`: a value for each name it uses, nothing (remove) for the others.
std::vector<std::pair<std::string, std::optional<std::string>>> BuiltInStateChanges(const BuiltInState& state);

}  // namespace runner::printing
