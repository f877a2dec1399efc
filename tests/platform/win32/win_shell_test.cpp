// Tests for the shell adapter under Wine (no file associations in a fresh prefix, no desktop).
#include "platform/win32/win_shell.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

class WinShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    folder_ = std::filesystem::path(temp) / (L"pv shell \u00E9t\u00E9 " + std::to_wstring(::GetCurrentProcessId()));
    std::filesystem::create_directories(folder_);
    file_ = folder_ / L"b\u00EFld \u5199\u771F.pvx";
    std::ofstream(file_) << "not a picture";
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  std::filesystem::path folder_;
  std::filesystem::path file_;
  WinShell shell_;
};

TEST_F(WinShellTest, OnlyRegularFilesWithDataAreFilesToOpenWhateverTheirNames) {
  EXPECT_TRUE(shell_.IsRegularFile(win32::Narrow(file_.wstring())));
  std::string forward = win32::Narrow(file_.wstring());
  std::replace(forward.begin(), forward.end(), '\\', '/');
  EXPECT_TRUE(shell_.IsRegularFile(forward));
  std::ofstream(folder_ / L"empty.jpg");
  for (const std::filesystem::path& not_a_photo : {folder_, folder_ / L"missing.jpg", folder_ / L"empty.jpg"}) {
    EXPECT_FALSE(shell_.IsRegularFile(win32::Narrow(not_a_photo.wstring())));
  }
  EXPECT_FALSE(shell_.IsRegularFile("NUL"));
  EXPECT_FALSE(shell_.IsRegularFile(""));
}

TEST_F(WinShellTest, TheShellsOwnRefusalsComeBack) {
  // No application is registered for this type: the shell's "no association" (31).
  const base::Status no_application = shell_.Open(win32::Narrow(file_.wstring()));
  EXPECT_EQ(no_application.code(), base::Status::Code::kUnsupported);
  EXPECT_NE(no_application.message().find("the shell answered 31"), std::string::npos) << no_application.message();
  EXPECT_FALSE(shell_.Open(win32::Narrow((folder_ / L"missing.pvx").wstring())).ok());
  EXPECT_EQ(shell_.Open(std::string("bad\0name", 8)).code(), base::Status::Code::kNotFound);
}

TEST_F(WinShellTest, OpeningAProgramIsAccepted) {
  EXPECT_TRUE(shell_.Open(PICTAVERA_WIN32_CHILD).ok());  // it starts, finds no arguments and ends
}

}  // namespace
}  // namespace platform
