// SettingsDialog: the printer's own modal settings dialog, editing one settings record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

enum class DialogOutcome { kOk, kCancelled, kFailed };

// Thread safety: call from the platform thread; the dialog is modal.
class SettingsDialog {
 public:
  virtual ~SettingsDialog() = default;

  // Shows the dialog for `printer` starting from `input` (a settings record) and waits until it closes.
  // kOk: `*output` holds the edited record, as long as `input`. kCancelled / kFailed: `*output` is
  // unspecified. Without a screen the dialog answers kCancelled.
  virtual DialogOutcome Show(const std::string& printer, const std::vector<uint8_t>& input,
                             std::vector<uint8_t>* output) = 0;
};

}  // namespace platform
