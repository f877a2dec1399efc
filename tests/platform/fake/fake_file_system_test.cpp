// FakeFileSystem: the same contract as the real adapter, and the failures its setup arranges.
#include "platform/fake/fake_file_system.h"

#include <gtest/gtest.h>

namespace platform {
namespace {

using Code = base::Status::Code;

TEST(FakeFileSystemTest, NewFilesLiveInExistingFoldersAndNeverReplace) {
  FakeFileSystem files;
  const std::string folder = files.TempFolder().value();
  EXPECT_TRUE(files.WriteNewFile(folder + "/a", {'1'}).ok());
  EXPECT_EQ(files.WriteNewFile(folder + "/a", {'2'}).code(), Code::kAlreadyExists);
  EXPECT_EQ(files.Contents(folder + "/a"), std::vector<uint8_t>({'1'}));
  EXPECT_EQ(files.WriteNewFile("/nowhere/a", {'1'}).code(), Code::kNotFound);
  EXPECT_EQ(files.WriteFile("/nowhere/a", {'1'}).code(), Code::kNotFound);
  EXPECT_TRUE(files.WriteFile(folder + "/a", {'3'}).ok());
  EXPECT_EQ(files.Contents(folder + "/a"), std::vector<uint8_t>({'3'}));
  EXPECT_TRUE(files.RemoveFile(folder + "/a").ok());
  EXPECT_EQ(files.RemoveFile(folder + "/a").code(), Code::kNotFound);
  EXPECT_EQ(files.RemoveFile(folder).code(), Code::kAccessDenied);
  EXPECT_EQ(files.CreatedPaths(), std::vector<std::string>({folder + "/a", folder + "/a"}));
  EXPECT_TRUE(files.Files().empty());
}

TEST(FakeFileSystemTest, APendingFileIsSeenOnlyUnderItsTemporaryNameUntilPublished) {
  FakeFileSystem files;
  files.AddFolder("/out");
  base::StatusOr<std::unique_ptr<PendingFile>> file = files.StartFile("/out", 0644);
  ASSERT_TRUE(file.ok());
  const uint8_t bytes[] = {'p', 'd', 'f'};
  EXPECT_TRUE((*file)->Write(bytes, 3).ok());
  ASSERT_EQ(files.Files().size(), 1u);
  EXPECT_EQ(files.Files()[0].rfind("/out/.", 0), 0u);
  files.AddFile("/out/taken.pdf", {});
  // Still pending after a taken name and after a name outside its folder, as the real rule leaves it.
  EXPECT_EQ((*file)->Publish("/out/taken.pdf", PublishMode::kNoReplace).code(), Code::kAlreadyExists);
  EXPECT_EQ((*file)->Publish("/other/free.pdf", PublishMode::kNoReplace).code(), Code::kInvalidArgument);
  EXPECT_TRUE((*file)->Publish("/out/free.pdf", PublishMode::kNoReplace).ok());
  EXPECT_EQ(files.Contents("/out/free.pdf"), std::vector<uint8_t>({'p', 'd', 'f'}));
  EXPECT_EQ(files.Files(), std::vector<std::string>({"/out/free.pdf", "/out/taken.pdf"}));

  base::StatusOr<std::unique_ptr<PendingFile>> dropped = files.StartFile("/out", 0644);
  ASSERT_TRUE(dropped.ok());
  dropped->reset();
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
  EXPECT_EQ(files.ReadFile("/out/sheet.jpg", 10).value(), std::vector<uint8_t>({'a'}));

  EXPECT_EQ(files.WriteNewFile("/out/sheet.jpg", {'s'}).code(), Code::kAlreadyExists);
  EXPECT_TRUE(files.WriteFile("/out/sheet.jpg", {'s'}).ok());
  EXPECT_EQ(files.KindAt("/out/sheet.jpg"), PathKind::kFile);
  EXPECT_EQ(files.Contents("/photos/a.jpg"), std::vector<uint8_t>({'a'}));
}

TEST(FakeFileSystemTest, ArrangedFailuresAreAnsweredAsGivenAndLeaveNothingBehind) {
  FakeFileSystem files;
  files.RefuseTempFolder(base::Status::AccessDenied("/fake-tmp/PictaVera_Temp: a link"));
  EXPECT_EQ(files.TempFolder().status().ToString(), "access denied: /fake-tmp/PictaVera_Temp: a link");
  files.RefuseTempFolder(base::Status::Ok());
  ASSERT_TRUE(files.TempFolder().ok());

  files.AddFile("/out/old.jpg", {'o'});
  files.FailWritesWith(FakeFileSystem::DiskFull());
  EXPECT_EQ(files.WriteNewFile("/out/new.jpg", {'n'}).ToString(), "I/O error: /out/new.jpg: disk full");
  EXPECT_EQ(files.WriteFile("/out/old.jpg", {'n'}).code(), Code::kIoError);
  EXPECT_EQ(files.CreateFolder("/out/sub", 0700).code(), Code::kIoError);
  files.FailWritesWith(base::Status::Ok());
  files.RefuseFolder("/out", base::Status::AccessDenied("/out"));
  EXPECT_EQ(files.WriteFile("/out/old.jpg", {'n'}).code(), Code::kAccessDenied);
  files.RefuseFolder("/out", base::Status::Ok());
  files.FailPublishWith(base::Status::AccessDenied("/out/old.jpg: refused"));
  EXPECT_EQ(files.WriteFile("/out/old.jpg", {'n'}).code(), Code::kAccessDenied);
  files.FailPublishWith(base::Status::Ok());
  EXPECT_EQ(files.Files(), std::vector<std::string>({"/out/old.jpg"}));
  EXPECT_EQ(files.Contents("/out/old.jpg"), std::vector<uint8_t>({'o'}));

  EXPECT_EQ(files.ReadFile("/out", 10).status().code(), Code::kAccessDenied);
  EXPECT_EQ(files.ReadFile("/out/none.jpg", 10).status().code(), Code::kNotFound);
  EXPECT_EQ(files.OwnFiles("/none").status().code(), Code::kNotFound);
}

}  // namespace
}  // namespace platform
