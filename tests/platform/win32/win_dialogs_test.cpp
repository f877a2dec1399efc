// The dialogs without a desktop (tests run with no display): both answer cancelled and show nothing.
#include "platform/win32/win_dialogs.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(WinDialogsTest, WithoutADesktopBothDialogsAnswerCancelled) {
  WinPrintDialog print;
  PrintDialogChoice choice{"untouched", std::vector<uint8_t>{1, 2, 3}};
  EXPECT_EQ(print.Show(&choice), DialogOutcome::kCancelled);
  EXPECT_EQ(choice.printer_name, "untouched");

  WinSettingsDialog settings;
  const std::vector<uint8_t> input(1244, 0);
  std::vector<uint8_t> output;
  EXPECT_EQ(settings.Show("PV_Photo", input, &output), DialogOutcome::kCancelled);
}

}  // namespace
}  // namespace platform
