// The printer's settings dialog over a settings record: which record the dialog starts from, what it
// changed, and storing the chosen record as the user's settings for the printer.
//
// The dialog starts from the caller's bytes when they are a whole record of this layout (kRecordLength
// bytes, settings_record.h), else from the printer's current settings; bytes from the interface are never
// trusted for lengths. A chosen record is stored under PrinterSettingsLock(); whether the store succeeded
// shows only in the debug text.
// Thread safety: may be called from any thread; the dialog port states its own.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "runner/printing/printers/settings_record.h"

namespace platform {
class SettingsDialog;
class Spooler;
}  // namespace platform

namespace runner::printing {

struct PaperDialogChoice {
  enum class Outcome {
    kChosen,
    kCancelled,           // the user closed the dialog (or there is no dialog); logged
    kNoCurrentSettings,   // the printer's current settings could not be read
    kDialogFailed,        // the dialog could not be shown
  };
  Outcome outcome = Outcome::kCancelled;
  std::vector<uint8_t> record;  // the chosen record, kRecordLength bytes
  PaperSummary paper;           // the chosen record's paper
  // "inputBytes=<n> dmSize=<n> mergeSource=<dart_bytes_memcpy|system_default> dialogRet=1 bytesChanged=<n>
  // setPrinterRet=<1|0> setPrinterErr=<n>"
  std::string debug_info;
};

// Shows the settings dialog of the printer `name` (which exists) over the caller's record `given` (may
// be null).
PaperDialogChoice ShowPaperDialog(platform::Spooler& spooler, platform::SettingsDialog* dialog,
                                  const std::string& name, const std::vector<uint8_t>* given);

}  // namespace runner::printing
