// The printer's settings dialog over a settings record.
#include "runner/printing/printers/paper_dialog.h"

#include <mutex>
#include <span>

#include "platform/settings_dialog.h"
#include "platform/spooler.h"
#include "runner/log.h"
#include "runner/printing/printers/paper_setter.h"

namespace runner::printing {

PaperDialogChoice ShowPaperDialog(platform::Spooler& spooler, platform::SettingsDialog* dialog,
                                  const std::string& name, const std::vector<uint8_t>* given) {
  PaperDialogChoice choice;
  // The input record: the caller's bytes when they are a whole record of this length, else the
  // printer's current settings.
  const size_t length = kRecordLength;
  const size_t input_count = given != nullptr ? given->size() : 0;
  std::vector<uint8_t> input;
  std::string merge_source;
  if (given != nullptr && given->size() >= length &&
      IsWholeSettingsRecord(std::span<const uint8_t>(given->data(), length))) {
    input.assign(given->begin(), given->begin() + static_cast<std::ptrdiff_t>(length));
    merge_source = "dart_bytes_memcpy";
  } else {
    std::optional<platform::PrintSettings> current = spooler.CurrentSettings(name);
    if (!current) {
      choice.outcome = PaperDialogChoice::Outcome::kNoCurrentSettings;
      return choice;
    }
    input = EncodeSettingsRecord(name, *current);
    merge_source = "system_default";
  }
  // The dialog.
  std::vector<uint8_t> output(length, 0);
  const platform::DialogOutcome outcome =
      dialog != nullptr ? dialog->Show(name, input, &output) : platform::DialogOutcome::kCancelled;
  if (outcome == platform::DialogOutcome::kCancelled) {
    LogLine("DEBUG: Printer settings dialog cancelled for " + name);
    choice.outcome = PaperDialogChoice::Outcome::kCancelled;
    return choice;
  }
  if (outcome == platform::DialogOutcome::kFailed) {
    choice.outcome = PaperDialogChoice::Outcome::kDialogFailed;
    return choice;
  }
  output.resize(length, 0);
  size_t changed = 0;
  for (size_t i = 0; i < length; ++i) changed += input[i] != output[i] ? 1 : 0;
  // Stored as the user's settings for this printer; the outcome shows only in the debug text.
  base::Status stored;
  {
    std::lock_guard lock(PrinterSettingsLock());
    stored = spooler.StoreSettings(name, DecodeSettingsRecord(output));
  }
  choice.outcome = PaperDialogChoice::Outcome::kChosen;
  choice.paper = SummarisePaper(output);
  choice.debug_info = "inputBytes=" + std::to_string(input_count) + " dmSize=" + std::to_string(length) +
                      " mergeSource=" + merge_source + " dialogRet=1 bytesChanged=" + std::to_string(changed) +
                      " setPrinterRet=" + (stored.ok() ? "1" : "0") +
                      " setPrinterErr=" + std::to_string(stored.system_error());
  choice.record = std::move(output);
  return choice;
}

}  // namespace runner::printing
