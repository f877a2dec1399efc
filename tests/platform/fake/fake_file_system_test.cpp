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
  EXPECT_EQ(files.WriteFile(folder + "/a", {'3'}), 0);
  EXPECT_EQ(files.Contents(folder + "/a"), std::vector<uint8_t>({'3'}));
  EXPECT_EQ(files.RemoveFile(folder + "/a"), 0);
  EXPECT_EQ(files.RemoveFile(folder + "/a"), ENOENT);
  EXPECT_EQ(files.CreatedPaths(), std::vector<std::string>({folder + "/a", folder + "/a"}));
  EXPECT_TRUE(files.Files().empty());
}

TEST(FakeFileSystemTest, APendingFileIsSeenOnlyUnderItsTemporaryNameUntilPublished) {
  FakeFileSystem files;
  files.AddFolder("/out");
  int error = 0;
  std::unique_ptr<PendingFile> file = files.StartFile("/out", 0644, &error);
  ASSERT_TRUE(file);
  const uint8_t bytes[] = {'p', 'd', 'f'};
  EXPECT_EQ(file->Write(bytes, 3), 0);
  ASSERT_EQ(files.Files().size(), 1u);
  EXPECT_EQ(files.Files()[0].rfind("/out/.", 0), 0u);
  files.AddFile("/out/taken.pdf", {});
  EXPECT_EQ(file->Publish("/out/taken.pdf", PublishMode::kNoReplace), EEXIST);  // still pending
  EXPECT_EQ(file->Publish("/out/free.pdf", PublishMode::kNoReplace), 0);
  EXPECT_EQ(files.Contents("/out/free.pdf"), std::vector<uint8_t>({'p', 'd', 'f'}));
  EXPECT_EQ(files.Files(), std::vector<std::string>({"/out/free.pdf", "/out/taken.pdf"}));

  std::unique_ptr<PendingFile> dropped = files.StartFile("/out", 0644, &error);
  dropped.reset();
  EXPECT_EQ(files.Files().size(), 2u);
}

TEST(FakeFileSystemTest, LinksAreFollowedForReadingAndReplacedByWrites) {
  FakeFileSystem files;
  files.AddFile("/photos/a.jpg", {'a'});
  files.AddLink("/out/sheet.jpg", "/photos/a.jpg");
  EXPECT_EQ(files.IdentityOf("/out/sheet.jpg"), files.IdentityOf("/photos/a.jpg"));
  EXPECT_NE(files.IdentityOf("/out"), files.IdentityOf("/photos/a.jpg"));
  EXPECT_EQ(files.IdentityOf("/photos/none.jpg"), std::nullopt);
  EXPECT_EQ(files.KindAt("/out/sheet.jpg"), PathKind::kLink);
  EXPECT_EQ(files.KindAt("/out"), PathKind::kFolder);
  EXPECT_EQ(files.ReadFile("/out/sheet.jpg", 10, nullptr), std::vector<uint8_t>({'a'}));

  EXPECT_EQ(files.WriteNewFile("/out/sheet.jpg", {'s'}), EEXIST);
  EXPECT_EQ(files.WriteFile("/out/sheet.jpg", {'s'}), 0);
  EXPECT_EQ(files.KindAt("/out/sheet.jpg"), PathKind::kFile);
  EXPECT_EQ(files.Contents("/photos/a.jpg"), std::vector<uint8_t>({'a'}));
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
  EXPECT_EQ(files.CreateFolder("/out/sub", 0700), ENOSPC);
  files.FailWritesWith(0);
  files.RefuseFolder("/out", EACCES);
  EXPECT_EQ(files.WriteFile("/out/old.jpg", {'n'}), EACCES);
  files.RefuseFolder("/out", 0);
  files.FailPublishWith(EPERM);
  EXPECT_EQ(files.WriteFile("/out/old.jpg", {'n'}), EPERM);
  files.FailPublishWith(0);
  EXPECT_EQ(files.Files(), std::vector<std::string>({"/out/old.jpg"}));
  EXPECT_EQ(files.Contents("/out/old.jpg"), std::vector<uint8_t>({'o'}));

  EXPECT_EQ(files.ReadFile("/out", 10, &error), std::nullopt);
  EXPECT_NE(error, 0);
}

}  // namespace
}  // namespace platform
