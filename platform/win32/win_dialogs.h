// WinPrintDialog and WinSettingsDialog: the system's print dialog (PrintDlgExW) and the printer driver's
// settings dialog (DocumentPropertiesW with a prompt).
//
// Both are modal to a hidden window of their own, made for the call; without a desktop no window can be
// made and they answer kCancelled without showing anything. Records are the system's own (DEVMODEW): the
// print dialog hands back the chosen printer's record (public part and the driver's private bytes); the
// settings dialog starts from the public values of `input` over the printer's current record and writes
// the public part of what the user chose over a copy of `input` (so its length and anything after the
// public part stay as they were).
// Thread safety: call from the platform thread (the one with the message loop); the dialogs are modal.
#pragma once

#include "platform/print_dialog.h"
#include "platform/settings_dialog.h"

namespace platform {

class WinPrintDialog : public PrintDialog {
 public:
  DialogOutcome Show(PrintDialogChoice* choice) override;
};

class WinSettingsDialog : public SettingsDialog {
 public:
  DialogOutcome Show(const std::string& printer, const std::vector<uint8_t>& input,
                     std::vector<uint8_t>* output) override;
};

}  // namespace platform
