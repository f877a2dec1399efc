// FakeFileSystem: the same contract as the real adapter, and the failures its setup arranges.
#include "platform/fake/fake_file_system.h"

#include <errno.h>

#include <gtest/gtest.h>

namespace platform {
namespace {

TEST(FakeFileSystemTest, NewFilesLiveInExistingFoldersAndNeverReplace) {
  FakeFileSystem files;
  const std::string folder = *files.TempFolder(nullptr);
  EXPECT_EQ(files.WriteNewFile(folder + "/a", {'1'}), 0);
  EXPECT_EQ(files.WriteNewFile(folder + "/a", {'2'}), EEXIST);
  EXPECT_EQ(files.Contents(folder + "/a"), std::vector<uint8_t>({'1'}));
  EXPECT_EQ(files.WriteNewFile("/nowhere/a", {'1'}), ENOENT);
  EXPECT_EQ(files.WriteFile("/nowhere/a", {'1'}), ENOENT);
  EXPECT_EQ(files.ReplaceFile("/cfg/PictaVera/Printing", {'x'}), 0);  // creates its folders
  EXPECT_TRUE(files.Exists("/cfg/PictaVera"));
  EXPECT_EQ(files.RemoveFile(folder + "/a"), 0);
  EXPECT_EQ(files.RemoveFile(folder + "/a"), ENOENT);
  EXPECT_EQ(files.CreatedPaths(), std::vector<std::string>({folder + "/a", "/cfg/PictaVera/Printing"}));
  EXPECT_EQ(files.Files(), std::vector<std::string>({"/cfg/PictaVera/Printing"}));
}

TEST(FakeFileSystemTest, ArrangedFailuresLeaveNothingBehind) {
  FakeFileSystem files;
  files.RefuseTempFolder(ELOOP);
  int error = 0;
  EXPECT_EQ(files.TempFolder(&error), std::nullopt);
  EXPECT_EQ(error, ELOOP);
  files.RefuseTempFolder(0);
  ASSERT_TRUE(files.TempFolder(&error));

  files.AddFile("/out/old.jpg", {'o'});
  files.FailWritesWith(ENOSPC);
  EXPECT_EQ(files.WriteNewFile("/out/new.jpg", {'n'}), ENOSPC);
  EXPECT_EQ(files.WriteFile("/out/old.jpg", {'n'}), ENOSPC);
  EXPECT_FALSE(files.Exists("/out/new.jpg"));
  EXPECT_EQ(files.Contents("/out/old.jpg"), std::vector<uint8_t>({'o'}));
  files.FailWritesWith(0);

  files.AddFile("/out/taken", {});
  EXPECT_EQ(files.WriteNewFile("/out/taken", {'n'}), EEXIST);
  EXPECT_EQ(files.ReadFile("/out/taken", 10, &error), std::vector<uint8_t>());
  EXPECT_EQ(files.ReadFile("/out", 10, &error), std::nullopt);
  EXPECT_NE(error, 0);
}

}  // namespace
}  // namespace platform
