// Setting a printer's paper in the user's stored settings: by size in millimetres or by paper name.
//
// Both setters read the printer's current settings, change the paper, let the printer check the change
// and store it; they answer true only when the check AND the store succeed (a paper that was not stored
// would not be the paper of the next job). Every read-modify-write of stored settings in the application
// runs under PrinterSettingsLock(), which print jobs also hold while they prepare. A print job prints on
// the settings it chose itself (SettingsWithPaperSize), never on what it reads back from the store, so a
// job of another program or another instance cannot change its paper.
// Thread safety: every function may be called from any thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

#include "platform/spooler.h"

namespace runner::printing {

// The one lock over stored printer settings and the default printer (recursive: a job's preparation
// holds it around the setters).
std::recursive_mutex& PrinterSettingsLock();

// The printer's current settings with the paper for width_mm x height_mm: the closest listed paper within
// 10 mm (turned papers count; the current paper wins a tie), else a user-defined paper of exactly that
// size; orientation landscape when width_mm > height_mm; checked by the printer. Nothing for an empty
// name, a side under 10 mm or over 5 m, a printer that cannot be opened or read, a user-defined size that
// does not fit the record (more than 3276.7 mm) or a change the printer refuses. Stores nothing.
std::optional<platform::PrintSettings> SettingsWithPaperSize(platform::Spooler& spooler, const std::string& printer,
                                                             int64_t width_mm, int64_t height_mm);

// Stores SettingsWithPaperSize as the user's settings for the printer (a side under 10 mm or over 5 m is
// never stored). False when there are none or the store fails.
bool SetPrinterPaperSize(platform::Spooler& spooler, const std::string& printer, int64_t width_mm,
                         int64_t height_mm);

// Sets the printer's paper to the listed paper named `paper_name` (exact match first, then partial);
// the orientation is left alone.
bool SetPrinterPaperSize(platform::Spooler& spooler, const std::string& printer, const std::string& paper_name);

}  // namespace runner::printing
