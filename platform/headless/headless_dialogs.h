// HeadlessSettingsDialog and HeadlessPrintDialog: the dialogs where there is no screen to show them on.
// They answer as the user's cancel would: nothing is chosen, nothing is stored. Answering OK would report
// a choice nobody made.
#pragma once

#include "platform/print_dialog.h"
#include "platform/settings_dialog.h"

namespace platform {

// Thread safety: stateless.
class HeadlessSettingsDialog : public SettingsDialog {
 public:
  DialogOutcome Show(const std::string&, const std::vector<uint8_t>&, std::vector<uint8_t>*) override {
    return DialogOutcome::kCancelled;
  }
};

// Thread safety: stateless.
class HeadlessPrintDialog : public PrintDialog {
 public:
  DialogOutcome Show(PrintDialogChoice*) override { return DialogOutcome::kCancelled; }
};

}  // namespace platform
