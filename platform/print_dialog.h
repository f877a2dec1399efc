// PrintDialog: the system's modal print dialog, choosing a printer and its settings.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/settings_dialog.h"

namespace platform {

struct PrintDialogChoice {
  std::string printer_name;                     // UTF-8; may be empty
  std::optional<std::vector<uint8_t>> record;   // the chosen settings record, when the dialog gave one
};

// Thread safety: call from the platform thread; the dialog is modal.
class PrintDialog {
 public:
  virtual ~PrintDialog() = default;

  // Shows the dialog and waits until it closes. kOk fills `*choice`. Without a screen: kCancelled.
  virtual DialogOutcome Show(PrintDialogChoice* choice) = 0;
};

}  // namespace platform
