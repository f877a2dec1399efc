// Tests for the Win32 file system adapter under Wine: the temporary folder, the one writing rule, Unicode
// paths with either slash.
#include "platform/win32/win_file_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// Latin, Greek, CJK and an emoji, with spaces.
constexpr char kUnicodeName[] = "Bl\xC3\xA4tter \xCE\xA6\xCF\x89\xCF\x84\xCE\xBF \xE5\x86\x99\xE7\x9C\x9F \xF0\x9F\x98\x80";

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

class WinFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    root_ = win32::Narrow(temp) + "pv files " + std::to_string(::GetCurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(root_.begin(), root_.end(), '\\', '/');
    ASSERT_EQ(files_.CreateFolder(root_, 0700), 0);
  }
  void TearDown() override {
    const std::wstring wide = *win32::SystemPath(root_);
    int error = 0;
    for (const std::string& name : files_.OwnFiles(root_, &error).value_or(std::vector<std::string>{})) {
      files_.RemoveFile(root_ + "/" + name);
    }
    ::RemoveDirectoryW(wide.c_str());
  }

  std::string root_;
  WinFileSystem files_;
};

TEST_F(WinFileSystemTest, TheTemporaryFolderIsThePublicOneOrTheVariablesAndIsCheckedEveryTime) {
  ::SetEnvironmentVariableW(L"PICTAVERA_TEMP_DIR", nullptr);
  int error = 0;
  EXPECT_EQ(WinFileSystem().TempFolder(&error), "C:/Users/Public/PictaVera_Temp");
  EXPECT_EQ(error, 0);
  EXPECT_EQ(files_.KindAt("C:\\Users\\Public\\PictaVera_Temp"), PathKind::kFolder);

  const std::string chosen = root_ + "/" + kUnicodeName;
  ::SetEnvironmentVariableW(L"PICTAVERA_TEMP_DIR", win32::Widen(chosen + "/")->c_str());
  EXPECT_EQ(WinFileSystem().TempFolder(&error), chosen);
  EXPECT_EQ(files_.KindAt(chosen), PathKind::kFolder);
  ::RemoveDirectoryW(win32::SystemPath(chosen)->c_str());

  ::SetEnvironmentVariableW(L"PICTAVERA_TEMP_DIR", L"relative\\folder");
  EXPECT_EQ(WinFileSystem().TempFolder(&error), std::nullopt);
  EXPECT_EQ(error, EINVAL);
  ::SetEnvironmentVariableW(L"PICTAVERA_TEMP_DIR", nullptr);

  // A file where the folder should be.
  ASSERT_EQ(files_.WriteFile(root_ + "/plain", Bytes("x")), 0);
  EXPECT_EQ(WinFileSystem(root_ + "/plain").TempFolder(&error), std::nullopt);
  EXPECT_EQ(error, ENOTDIR);
}

TEST_F(WinFileSystemTest, FilesAreWrittenWholeUnderUnicodeNamesAndReadBack) {
  const std::string path = root_ + "/" + kUnicodeName + ".jpg";
  ASSERT_EQ(files_.WriteFile(path, Bytes("first")), 0);
  ASSERT_EQ(files_.WriteFile(path, Bytes("second, longer")), 0);  // replaces
  int error = 0;
  EXPECT_EQ(files_.ReadFile(path, 1 << 20, &error), Bytes("second, longer"));
  EXPECT_EQ(files_.ReadFile(path, 6, &error), Bytes("second"));
  std::string backslashed = path;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  EXPECT_TRUE(files_.IsRegularFile(backslashed));
  EXPECT_EQ(files_.IdentityOf(backslashed), files_.IdentityOf(path));
  EXPECT_NE(files_.IdentityOf(path), files_.IdentityOf(root_));
  EXPECT_EQ(files_.KindAt(path), PathKind::kFile);

  // A new file never replaces; nothing but the published files is left in the folder.
  EXPECT_EQ(files_.WriteNewFile(path, Bytes("third")), EEXIST);
  EXPECT_EQ(files_.ReadFile(path, 1 << 20, &error), Bytes("second, longer"));
  EXPECT_EQ(files_.WriteNewFile(root_ + "/new", Bytes("")), 0);
  std::vector<std::string> names = *files_.OwnFiles(root_, &error);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{std::string(kUnicodeName) + ".jpg", "new"}));
}

TEST_F(WinFileSystemTest, WholeFilesAreWrittenByPathsWithBackslashesAsWithSlashes) {
  // Windows' own form of a path: the file's folder is found by its last separator of either kind, so the
  // pending file starts beside the file and is published there.
  std::string folder = root_ + "/" + kUnicodeName;
  ASSERT_EQ(files_.CreateFolder(folder, 0700), 0);
  std::replace(folder.begin(), folder.end(), '/', '\\');
  EXPECT_EQ(FolderOfPath(folder + "\\sheet.jpg"), folder);
  EXPECT_EQ(FolderOfPath(root_ + "/a\\sheet.jpg"), root_ + "/a");
  EXPECT_EQ(FolderOfPath("\\sheet.jpg"), "\\");
  ASSERT_EQ(files_.WriteFile(folder + "\\sheet.jpg", Bytes("sheet")), 0);
  ASSERT_EQ(files_.WriteNewFile(folder + "\\new.jpg", Bytes("new")), 0);
  EXPECT_EQ(files_.WriteFile(folder + "\\", Bytes("x")), ENOENT);  // a folder's name, not a file's
  int error = 0;
  EXPECT_EQ(files_.ReadFile(folder + "/sheet.jpg", 100, &error), Bytes("sheet"));
  std::vector<std::string> names = *files_.OwnFiles(folder, &error);
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"new.jpg", "sheet.jpg"}));  // nothing pending left beside them
  EXPECT_TRUE(files_.OwnFiles(root_, &error)->empty());
  for (const std::string& name : names) files_.RemoveFile(folder + "\\" + name);
  ::RemoveDirectoryW(win32::SystemPath(folder)->c_str());
}

TEST_F(WinFileSystemTest, FailuresAreTheirErrnoValues) {
  EXPECT_EQ(files_.WriteFile(root_ + "/missing/file", Bytes("x")), ENOENT);
  EXPECT_EQ(files_.CreateFolder(root_, 0700), EEXIST);
  EXPECT_EQ(files_.RemoveFile(root_ + "/nothing"), ENOENT);
  EXPECT_EQ(files_.KindAt(root_ + "/nothing"), PathKind::kMissing);
  EXPECT_EQ(files_.KindAt(root_), PathKind::kFolder);
  EXPECT_FALSE(files_.IsRegularFile(root_));
  int error = 0;
  EXPECT_EQ(files_.ReadFile(root_ + "/nothing", 10, &error), std::nullopt);
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(files_.ReadFile("NUL", 10, &error), std::nullopt);  // a device, not a file
  EXPECT_EQ(error, EINVAL);
  // A folder at the final name is not replaced; the pending file goes.
  ASSERT_EQ(files_.CreateFolder(root_ + "/taken", 0700), 0);
  EXPECT_NE(files_.WriteFile(root_ + "/taken", Bytes("x")), 0);
  EXPECT_EQ(files_.KindAt(root_ + "/taken"), PathKind::kFolder);
  EXPECT_TRUE(files_.OwnFiles(root_, &error)->empty());
  ::RemoveDirectoryW(win32::SystemPath(root_ + "/taken")->c_str());
}

TEST_F(WinFileSystemTest, APendingFilePublishesOnlyIntoItsOwnFolder) {
  int error = 0;
  std::unique_ptr<PendingFile> file = files_.StartFile(root_, 0600, &error);
  ASSERT_NE(file, nullptr) << error;
  ASSERT_EQ(file->Write(reinterpret_cast<const uint8_t*>("abc"), 3), 0);
  EXPECT_EQ(file->Publish("C:/elsewhere/abc", PublishMode::kReplace), EXDEV);
  EXPECT_EQ(file->Publish(root_ + "\\abc", PublishMode::kNoReplace), 0);
  EXPECT_EQ(files_.ReadFile(root_ + "/abc", 10, &error), Bytes("abc"));
  file.reset();
  EXPECT_EQ(files_.KindAt(root_ + "/abc"), PathKind::kFile);  // published files stay

  std::unique_ptr<PendingFile> dropped = files_.StartFile(root_, 0600, &error);
  ASSERT_NE(dropped, nullptr);
  dropped.reset();
  EXPECT_EQ(files_.OwnFiles(root_, &error)->size(), 1u);
}

}  // namespace
}  // namespace platform
