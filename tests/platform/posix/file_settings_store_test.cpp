// Tests for the settings file: path rules, line editing, and the store over a real temporary folder.
#include "platform/posix/file_settings_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <fstream>
#include <sstream>

#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using test_support::TempFolder;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

TEST(FileSettingsStore, PathFollowsXdgThenHome) {
  EXPECT_EQ(PrintingSettingsPath("/x/cfg", "/home/u"), "/x/cfg/PictaVera/Printing");
  EXPECT_EQ(PrintingSettingsPath("relative", "/home/u"), "/home/u/.config/PictaVera/Printing");
  EXPECT_EQ(PrintingSettingsPath("", "/home/u"), "/home/u/.config/PictaVera/Printing");
  EXPECT_EQ(PrintingSettingsPath(nullptr, "/home/u"), "/home/u/.config/PictaVera/Printing");
}

TEST(FileSettingsStore, LinesAreFoundAndReplacedKeepingTheOthers) {
  const std::string contents = "Other=1\nColorProfile=a\r\nColorProfileX=2\nColorProfile=b\nLast=3";
  EXPECT_EQ(FindSettingValue(contents, "ColorProfile"), "b");
  EXPECT_EQ(FindSettingValue("ColorProfile=\n", "ColorProfile"), "");
  EXPECT_EQ(FindSettingValue("ColorProfile\n", "ColorProfile"), std::nullopt);
  EXPECT_EQ(FindSettingValue("ColorProfile=a=b", "ColorProfile"), "a=b");
  EXPECT_EQ(ReplaceSettingLine(contents, "ColorProfile", "c"), "Other=1\nColorProfile=c\nColorProfileX=2\nLast=3\n");
  EXPECT_EQ(ReplaceSettingLine("", "ColorProfile", "c"), "ColorProfile=c\n");
}

TEST(FileSettingsStore, PersistsAcrossInstancesAndKeepsOtherLines) {
  TempFolder temp;
  const std::string path = temp.str() + "/cfg/PictaVera/Printing";
  {
    FileSettingsStore store(path);
    EXPECT_EQ(store.Get("ColorProfile"), std::nullopt);
    EXPECT_TRUE(store.Set("ColorProfile", "adobe_rgb").ok());
  }
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  ASSERT_EQ(::stat((temp.str() + "/cfg/PictaVera").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0700u);

  std::ofstream(path, std::ios::app) << "Theme=dark\n";
  FileSettingsStore again(path);
  EXPECT_EQ(again.Get("ColorProfile"), "adobe_rgb");
  EXPECT_TRUE(again.Set("ColorProfile", "").ok());
  EXPECT_EQ(again.Get("ColorProfile"), "");
  EXPECT_EQ(ReadText(path), "ColorProfile=\nTheme=dark\n");

  EXPECT_EQ(again.Set("ColorProfile", "a\nColorProfile=x").code(), base::Status::Code::kInvalidArgument);
  EXPECT_EQ(ReadText(path), "ColorProfile=\nTheme=dark\n");
  // No temporary files are left beside it.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.str() + "/cfg/PictaVera"),
                          std::filesystem::directory_iterator()), 1);
}

TEST(FileSettingsStore, ALinkedFileIsUpdatedWhereItLivesAndLargeFilesStayUsable) {
  TempFolder temp;
  std::filesystem::create_directories(temp.str() + "/dotfiles");
  std::filesystem::create_directories(temp.str() + "/cfg/PictaVera");
  const std::string kept = temp.str() + "/dotfiles/Printing";
  const std::string path = temp.str() + "/cfg/PictaVera/Printing";
  // 200 KiB of other settings before the line: beyond what used to be read, within the 1 MiB now read.
  std::ofstream(kept) << std::string(200 * 1024, '#') << "\nColorProfile=srgb\n";
  std::filesystem::create_symlink("../../dotfiles/Printing", path);

  FileSettingsStore store(path);
  EXPECT_EQ(store.Get("ColorProfile"), "srgb");
  ASSERT_TRUE(store.Set("ColorProfile", "adobe_rgb").ok());
  EXPECT_TRUE(std::filesystem::is_symlink(path));
  EXPECT_EQ(store.Get("ColorProfile"), "adobe_rgb");
  EXPECT_EQ(ReadText(kept).size(), 200u * 1024 + 1 + std::string("ColorProfile=adobe_rgb\n").size());
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(temp.str() + "/dotfiles"),
                          std::filesystem::directory_iterator()), 1);

  std::ofstream(kept, std::ios::app) << std::string(1024 * 1024, '#');  // past 1 MiB: left alone
  EXPECT_EQ(store.Get("ColorProfile"), std::nullopt);
  EXPECT_EQ(store.Set("ColorProfile", "srgb").code(), base::Status::Code::kTooLarge);
  EXPECT_GT(ReadText(kept).size(), 1024u * 1024);
}

TEST(FileSettingsStore, SeveralValuesAreReadOnceAndWrittenOnceAllOrNone) {
  TempFolder temp;
  const std::string root = temp.path().string();
  const std::string path = root + "/cfg/PictaVera/BuiltInPrinter";
  FileSettingsStore store(path);
  EXPECT_EQ(store.GetMany({"default"}), (std::map<std::string, std::string>{}));  // no file yet: empty
  std::filesystem::create_directories(root + "/cfg/PictaVera");
  std::ofstream(path) << "kept=1\nrecord=00ff\ndefault=0\n";
  EXPECT_TRUE(store.SetMany({{"default", "1"}, {"record", std::nullopt}, {"paper", "9"}}).ok());
  EXPECT_EQ(ReadText(path), "kept=1\ndefault=1\npaper=9\n");
  EXPECT_EQ(store.GetMany({"default", "paper", "record"}),
            (std::map<std::string, std::string>{{"default", "1"}, {"paper", "9"}}));
  // A value that cannot be a line refuses the whole change.
  EXPECT_EQ(store.SetMany({{"default", "0"}, {"formName", "two\nlines"}}).code(), base::Status::Code::kInvalidArgument);
  EXPECT_EQ(ReadText(path), "kept=1\ndefault=1\npaper=9\n");
  // A store the application alone writes replaces a file too large to be one of its own.
  std::ofstream(path, std::ios::app) << std::string(size_t{1} << 20, 'x');
  FileSettingsStore own(path, FileSettingsStore::Oversized::kReplaceOversized);
  EXPECT_EQ(own.GetMany({"default"}), std::nullopt);
  EXPECT_EQ(store.SetMany({{"default", "0"}}).code(), base::Status::Code::kTooLarge);
  EXPECT_TRUE(own.SetMany({{"default", "0"}}).ok());
  EXPECT_EQ(ReadText(path), "default=0\n");
  std::ofstream(root + "/file") << "x";
  FileSettingsStore under_file(root + "/file/BuiltInPrinter");
  EXPECT_EQ(under_file.GetMany({"default"}), std::nullopt);
  EXPECT_EQ(under_file.SetMany({{"default", "1"}}).code(), base::Status::Code::kUnavailable);
}

TEST(FileSettingsStore, FailuresNameTheirStep) {
  TempFolder temp;
  std::ofstream(temp.str() + "/file") << "x";
  FileSettingsStore under_file(temp.str() + "/file/PictaVera/Printing");
  EXPECT_EQ(under_file.Get("ColorProfile"), std::nullopt);
  const base::Status no_folder = under_file.Set("ColorProfile", "srgb");
  EXPECT_EQ(no_folder.code(), base::Status::Code::kUnavailable);
  EXPECT_EQ(no_folder.message(), temp.str() + "/file/PictaVera: " + std::strerror(ENOTDIR));
  EXPECT_EQ(FileSettingsStore("Printing").Set("ColorProfile", "srgb").code(), base::Status::Code::kUnavailable);

  // What is not a file at the settings path is never replaced.
  std::filesystem::create_directories(temp.str() + "/folder/Printing");
  EXPECT_EQ(FileSettingsStore(temp.str() + "/folder/Printing").Set("ColorProfile", "srgb").code(),
            base::Status::Code::kAccessDenied);

  if (::geteuid() != 0) {  // permissions do not stop root
    const std::string path = temp.str() + "/PictaVera/Printing";
    FileSettingsStore store(path);
    ASSERT_TRUE(store.Set("ColorProfile", "srgb").ok());
    ::chmod(path.c_str(), 0);
    EXPECT_EQ(store.Get("ColorProfile"), std::nullopt);
    const base::Status unreadable = store.Set("ColorProfile", "adobe_rgb");
    EXPECT_EQ(unreadable.code(), base::Status::Code::kAccessDenied);
    EXPECT_EQ(unreadable.message(), path + ": " + std::strerror(EACCES));
    // A folder that takes no new file: the store cannot be made there.
    ::chmod(path.c_str(), 0600);
    ::chmod((temp.str() + "/PictaVera").c_str(), 0500);
    EXPECT_EQ(store.Set("ColorProfile", "adobe_rgb").code(), base::Status::Code::kUnavailable);
    ::chmod((temp.str() + "/PictaVera").c_str(), 0700);
    EXPECT_EQ(store.Get("ColorProfile"), "srgb");
  }
}

}  // namespace
}  // namespace platform
