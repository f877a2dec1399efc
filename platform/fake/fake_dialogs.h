// FakeSettingsDialog and FakePrintDialog: dialogs whose outcome a test arranges (OK unchanged, OK with an
// edit, cancel, failure), counting how often they were shown.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/print_dialog.h"
#include "platform/settings_dialog.h"

namespace platform {

// Thread safety: one thread at a time.
class FakeSettingsDialog : public SettingsDialog {
 public:
  DialogOutcome outcome = DialogOutcome::kOk;
  // Applied to the record on OK; none leaves it unchanged.
  std::function<void(std::vector<uint8_t>&)> edit;
  int shown = 0;
  std::string last_printer;
  std::vector<uint8_t> last_input;

  DialogOutcome Show(const std::string& printer, const std::vector<uint8_t>& input,
                     std::vector<uint8_t>* output) override {
    ++shown;
    last_printer = printer;
    last_input = input;
    if (outcome != DialogOutcome::kOk) return outcome;
    *output = input;
    if (edit) edit(*output);
    return DialogOutcome::kOk;
  }
};

// Thread safety: one thread at a time.
class FakePrintDialog : public PrintDialog {
 public:
  DialogOutcome outcome = DialogOutcome::kCancelled;
  PrintDialogChoice choice;
  int shown = 0;

  DialogOutcome Show(PrintDialogChoice* out) override {
    ++shown;
    if (outcome == DialogOutcome::kOk) *out = choice;
    return outcome;
  }
};

}  // namespace platform
