// Tests for the Win32 file system adapter under Wine: the temporary folder, the one writing rule, Unicode
// paths with either slash, and the kind and the system's own message every failure carries.
#include "platform/win32/win_file_system.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// Latin, Greek, CJK and an emoji, with spaces.
constexpr char kUnicodeName[] = "Bl\xC3\xA4tter \xCE\xA6\xCF\x89\xCF\x84\xCE\xBF \xE5\x86\x99\xE7\x9C\x9F \xF0\x9F\x98\x80";

std::vector<uint8_t> Bytes(const std::string& text) { return std::vector<uint8_t>(text.begin(), text.end()); }

using Code = base::Status::Code;

class WinFileSystemTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(::GetTempPathW(MAX_PATH, temp), 0u);
    root_ = win32::Narrow(temp) + "pv files " + std::to_string(::GetCurrentProcessId()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name();
    std::replace(root_.begin(), root_.end(), '\\', '/');
    ASSERT_TRUE(files_.CreateFolder(root_, 0700).ok());
  }
  void TearDown() override {
    const std::wstring wide = *win32::SystemPath(root_);
    const base::StatusOr<std::vector<std::string>> names = files_.OwnFiles(root_);
    for (const std::string& name : names.ok() ? *names : std::vector<std::string>{}) {
      EXPECT_TRUE(files_.RemoveFile(root_ + "/" + name).ok()) << name;
    }
    ::RemoveDirectoryW(wide.c_str());
  }

  std::string root_;
  WinFileSystem files_;
};

TEST_F(WinFileSystemTest, TheTemporaryFolderIsThePublicOneOrTheVariablesAndIsCheckedEveryTime) {
  ::SetEnvironmentVariableW(L"PICTAVERA_TEMP_DIR", nullptr);
  EXPECT_EQ(WinFileSystem().TempFolder().value(), "C:/Users/Public/PictaVera_Temp");
  EXPECT_EQ(files_.KindAt("C:\\Users\\Public\\PictaVera_Temp"), PathKind::kFolder);

  const std::string chosen = root_ + "/" + kUnicodeName;
  ::SetEnvironmentVariableW(L"PICTAVERA_TEMP_DIR", win32::Widen(chosen + "/")->c_str());
  EXPECT_EQ(WinFileSystem().TempFolder().value(), chosen);
  EXPECT_EQ(files_.KindAt(chosen), PathKind::kFolder);
  ::RemoveDirectoryW(win32::SystemPath(chosen)->c_str());

  ::SetEnvironmentVariableW(L"PICTAVERA_TEMP_DIR", L"relative\\folder");
  EXPECT_EQ(WinFileSystem().TempFolder().status().code(), Code::kInvalidArgument);
  ::SetEnvironmentVariableW(L"PICTAVERA_TEMP_DIR", nullptr);

  // A file where the folder should be; a folder above it missing.
  ASSERT_TRUE(files_.WriteFile(root_ + "/plain", Bytes("x")).ok());
  const base::Status plain = WinFileSystem(root_ + "/plain").TempFolder().status();
  EXPECT_EQ(plain.code(), Code::kAccessDenied);
  EXPECT_EQ(plain.message(), root_ + "/plain: not a folder");
  EXPECT_EQ(WinFileSystem(root_ + "/none/pv").TempFolder().status().code(), Code::kNotFound);
}

TEST_F(WinFileSystemTest, FilesAreWrittenWholeUnderUnicodeNamesAndReadBack) {
  const std::string path = root_ + "/" + kUnicodeName + ".jpg";
  ASSERT_TRUE(files_.WriteFile(path, Bytes("first")).ok());
  ASSERT_TRUE(files_.WriteFile(path, Bytes("second, longer")).ok());  // replaces
  EXPECT_EQ(files_.ReadFile(path, 1 << 20).value(), Bytes("second, longer"));
  EXPECT_EQ(files_.ReadFile(path, 6).value(), Bytes("second"));
  std::string backslashed = path;
  std::replace(backslashed.begin(), backslashed.end(), '/', '\\');
  EXPECT_TRUE(files_.IsRegularFile(backslashed));
  EXPECT_EQ(files_.IdentityOf(backslashed), files_.IdentityOf(path));
  EXPECT_NE(files_.IdentityOf(path), files_.IdentityOf(root_));
  EXPECT_EQ(files_.KindAt(path), PathKind::kFile);

  // A new file never replaces; nothing but the published files is left in the folder.
  EXPECT_EQ(files_.WriteNewFile(path, Bytes("third")).code(), Code::kAlreadyExists);
  EXPECT_EQ(files_.ReadFile(path, 1 << 20).value(), Bytes("second, longer"));
  EXPECT_TRUE(files_.WriteNewFile(root_ + "/new", Bytes("")).ok());
  EXPECT_EQ(files_.ReadFile(root_ + "/new", 10).value(), Bytes(""));
  std::vector<std::string> names = files_.OwnFiles(root_).value();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{std::string(kUnicodeName) + ".jpg", "new"}));
}

TEST_F(WinFileSystemTest, WholeFilesAreWrittenByPathsWithBackslashesAsWithSlashes) {
  // Windows' own form of a path: the file's folder is found by its last separator of either kind, so the
  // pending file starts beside the file and is published there.
  std::string folder = root_ + "/" + kUnicodeName;
  ASSERT_TRUE(files_.CreateFolder(folder, 0700).ok());
  std::replace(folder.begin(), folder.end(), '/', '\\');
  EXPECT_EQ(FolderOfPath(folder + "\\sheet.jpg"), folder);
  EXPECT_EQ(FolderOfPath(root_ + "/a\\sheet.jpg"), root_ + "/a");
  EXPECT_EQ(FolderOfPath("\\sheet.jpg"), "\\");
  ASSERT_TRUE(files_.WriteFile(folder + "\\sheet.jpg", Bytes("sheet")).ok());
  ASSERT_TRUE(files_.WriteNewFile(folder + "\\new.jpg", Bytes("new")).ok());
  EXPECT_EQ(files_.WriteFile(folder + "\\", Bytes("x")).code(), Code::kNotFound);  // a folder's name, not a file's
  EXPECT_EQ(files_.ReadFile(folder + "/sheet.jpg", 100).value(), Bytes("sheet"));
  std::vector<std::string> names = files_.OwnFiles(folder).value();
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"new.jpg", "sheet.jpg"}));  // nothing pending left beside them
  EXPECT_TRUE(files_.OwnFiles(root_).value().empty());
  for (const std::string& name : names) EXPECT_TRUE(files_.RemoveFile(folder + "\\" + name).ok());
  ::RemoveDirectoryW(win32::SystemPath(folder)->c_str());
}

TEST_F(WinFileSystemTest, FailuresAreTheirKindsWithThePathAndTheSystemsMessage) {
  EXPECT_EQ(files_.WriteFile(root_ + "/missing/file", Bytes("x")).code(), Code::kNotFound);
  const base::Status taken = files_.CreateFolder(root_, 0700);
  EXPECT_EQ(taken.code(), Code::kAlreadyExists);
  // The system's own words follow the path (their language is the system's).
  EXPECT_EQ(taken.message().rfind(root_ + ": ", 0), 0u) << taken.message();
  EXPECT_GT(taken.message().size(), root_.size() + 2);
  EXPECT_EQ(files_.RemoveFile(root_ + "/nothing").code(), Code::kNotFound);
  EXPECT_EQ(files_.KindAt(root_ + "/nothing"), PathKind::kMissing);
  EXPECT_EQ(files_.KindAt(root_), PathKind::kFolder);
  EXPECT_FALSE(files_.IsRegularFile(root_));
  EXPECT_EQ(files_.ReadFile(root_ + "/nothing", 10).status().code(), Code::kNotFound);
  const base::Status device = files_.ReadFile("NUL", 10).status();  // a device, not a file
  EXPECT_EQ(device.code(), Code::kAccessDenied);
  EXPECT_EQ(device.message(), "NUL: not a regular file");
  EXPECT_EQ(files_.OwnFiles(root_ + "/nothing").status().code(), Code::kNotFound);
  // A folder at the final name is not replaced; the pending file goes.
  ASSERT_TRUE(files_.CreateFolder(root_ + "/taken", 0700).ok());
  EXPECT_FALSE(files_.WriteFile(root_ + "/taken", Bytes("x")).ok());
  EXPECT_EQ(files_.KindAt(root_ + "/taken"), PathKind::kFolder);
  EXPECT_TRUE(files_.OwnFiles(root_).value().empty());
  ::RemoveDirectoryW(win32::SystemPath(root_ + "/taken")->c_str());
}

TEST_F(WinFileSystemTest, APendingFilePublishesOnlyIntoItsOwnFolder) {
  base::StatusOr<std::unique_ptr<PendingFile>> file = files_.StartFile(root_, 0600);
  ASSERT_TRUE(file.ok()) << file.status().ToString();
  ASSERT_TRUE((*file)->Write(reinterpret_cast<const uint8_t*>("abc"), 3).ok());
  EXPECT_EQ((*file)->Publish("C:/elsewhere/abc", PublishMode::kReplace).code(), Code::kInvalidArgument);
  EXPECT_TRUE((*file)->Publish(root_ + "\\abc", PublishMode::kNoReplace).ok());
  EXPECT_EQ(files_.ReadFile(root_ + "/abc", 10).value(), Bytes("abc"));
  file->reset();
  EXPECT_EQ(files_.KindAt(root_ + "/abc"), PathKind::kFile);  // published files stay

  base::StatusOr<std::unique_ptr<PendingFile>> dropped = files_.StartFile(root_, 0600);
  ASSERT_TRUE(dropped.ok());
  dropped->reset();
  EXPECT_EQ(files_.OwnFiles(root_).value().size(), 1u);
  EXPECT_EQ(files_.StartFile(root_ + "/none", 0600).status().code(), Code::kNotFound);
}

}  // namespace
}  // namespace platform
