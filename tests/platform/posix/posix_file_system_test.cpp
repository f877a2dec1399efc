// PosixFileSystem against a real folder: the temporary folder's refusals, new files that never replace or
// follow links, atomic replacement, bounded reads, and no partial file after a failed write.
#include "platform/posix/posix_file_system.h"

#include <errno.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

const std::vector<uint8_t> kBytes = {'j', 'o', 'b', '\n', 0, 255};

class PosixFileSystemTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& name) const { return (root_ / name).string(); }
  static std::string Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  static mode_t ModeOf(const std::string& path) {
    struct stat info;
    EXPECT_EQ(::lstat(path.c_str(), &info), 0);
    return info.st_mode & 07777;
  }

  test_support::TempFolder temp_{"posix_fs_test"};
  const fs::path root_ = temp_.path();
  PosixFileSystem files_;
};

TEST(ResolveTempFolderTest, EnvironmentChoosesTheFolder) {
  EXPECT_EQ(ResolveTempFolder("/data/pv/", "/x", 5), "/data/pv");
  EXPECT_EQ(ResolveTempFolder("", "/var/tmp/", 1000), "/var/tmp/PictaVera_Temp-1000");
  EXPECT_EQ(ResolveTempFolder(nullptr, nullptr, 7), "/tmp/PictaVera_Temp-7");
  EXPECT_EQ(ResolveTempFolder(nullptr, "", 7), "/tmp/PictaVera_Temp-7");
  EXPECT_EQ(ResolveTempFolder("relative/dir", nullptr, 7), std::nullopt);
  EXPECT_EQ(ResolveTempFolder(nullptr, "tmp", 7), std::nullopt);
}

TEST_F(PosixFileSystemTest, TempFolderIsCreatedPrivateAndReused) {
  PosixFileSystem files(Path("pv_temp"));
  int error = -1;
  ASSERT_EQ(files.TempFolder(&error), Path("pv_temp"));
  EXPECT_EQ(error, 0);
  EXPECT_EQ(ModeOf(Path("pv_temp")), 0700u);
  EXPECT_EQ(files.TempFolder(&error), Path("pv_temp"));
}

TEST_F(PosixFileSystemTest, TempFolderRefusesLinksFilesAndOpenFolders) {
  int error = 0;
  fs::create_directory(Path("real"));
  fs::create_directory_symlink(Path("real"), Path("link"));
  EXPECT_EQ(PosixFileSystem(Path("link")).TempFolder(&error), std::nullopt);
  EXPECT_EQ(error, ELOOP);

  std::ofstream(Path("plain_file")) << "x";
  EXPECT_EQ(PosixFileSystem(Path("plain_file")).TempFolder(&error), std::nullopt);
  EXPECT_EQ(error, ENOTDIR);

  fs::create_directory(Path("shared"));
  ::chmod(Path("shared").c_str(), 0770);
  EXPECT_EQ(PosixFileSystem(Path("shared")).TempFolder(&error), std::nullopt);
  EXPECT_EQ(error, EPERM);

  EXPECT_EQ(PosixFileSystem(Path("missing_parent/pv")).TempFolder(&error), std::nullopt);
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(PosixFileSystem("not/absolute").TempFolder(&error), std::nullopt);
  EXPECT_EQ(error, EINVAL);
}

TEST_F(PosixFileSystemTest, NewFileNeverReplacesNorFollowsALink) {
  ASSERT_EQ(files_.WriteNewFile(Path("a.txt"), kBytes), 0);
  EXPECT_EQ(Read(Path("a.txt")), std::string(kBytes.begin(), kBytes.end()));
  EXPECT_EQ(ModeOf(Path("a.txt")), 0600u);
  EXPECT_EQ(files_.WriteNewFile(Path("a.txt"), {'z'}), EEXIST);
  EXPECT_EQ(Read(Path("a.txt")), std::string(kBytes.begin(), kBytes.end()));

  // A dangling link at the name: the target must not be created through it.
  fs::create_symlink(Path("target.txt"), Path("planted"));
  EXPECT_EQ(files_.WriteNewFile(Path("planted"), kBytes), EEXIST);
  EXPECT_FALSE(fs::exists(Path("target.txt")));
  EXPECT_EQ(files_.WriteNewFile(Path("no_folder/a.txt"), kBytes), ENOENT);
}

TEST_F(PosixFileSystemTest, WriteBeyondTheFileSizeLimitFailsAndLeavesNoFile) {
  // The file size limit stands in for a full disk: write(2) fails with EFBIG part way through.
  struct rlimit previous;
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  const sighandler_t previous_handler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = previous;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const std::vector<uint8_t> big(5000, 'x');
  const int new_error = files_.WriteNewFile(Path("big.txt"), big);
  std::ofstream(Path("kept.txt")) << "old";
  const int in_place_error = files_.WriteFile(Path("kept.txt"), big);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::signal(SIGXFSZ, previous_handler);

  EXPECT_EQ(new_error, EFBIG);
  EXPECT_FALSE(fs::exists(Path("big.txt")));
  EXPECT_EQ(in_place_error, EFBIG);
  EXPECT_EQ(Read(Path("kept.txt")), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 1);
}

TEST_F(PosixFileSystemTest, NamesAsLongAsTheFolderAllowsAreWritten) {
  // The temporary name is short whatever the final one: 255 bytes is the usual limit of one name.
  for (const size_t length : {241u, 255u}) {
    const std::string path = Path(std::string(length - 4, 'n') + ".jpg");
    EXPECT_EQ(files_.WriteFile(path, kBytes), 0) << length;
    EXPECT_EQ(Read(path), std::string(kBytes.begin(), kBytes.end()));
  }
  EXPECT_EQ(files_.WriteNewFile(Path(std::string(256, 'n')), kBytes), ENAMETOOLONG);
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 2);
}

// Publishing calls as a file system without renameat2 flags and without hard links answers them.
int RefuseRenameFlags(const char*, const char*) { return EINVAL; }
int RefuseHardLinks(const char*, const char*) { return EPERM; }

TEST_F(PosixFileSystemTest, NewFilesNeverReplaceEvenWhereHardLinksAreRefused) {
  PosixFileSystem no_links(std::nullopt, NoReplaceCalls{RefuseRenameFlags, RefuseHardLinks});
  std::ofstream(Path("taken.pdf")) << "earlier print";
  EXPECT_EQ(no_links.WriteNewFile(Path("taken.pdf"), kBytes), EEXIST);
  EXPECT_EQ(Read(Path("taken.pdf")), "earlier print");
  ASSERT_EQ(no_links.WriteNewFile(Path("free.pdf"), kBytes), 0);
  EXPECT_EQ(Read(Path("free.pdf")), std::string(kBytes.begin(), kBytes.end()));

  // A pending file refused one name stays whole and takes the next.
  int error = 0;
  std::unique_ptr<PendingFile> file = no_links.StartFile(root_.string(), 0644, &error);
  ASSERT_TRUE(file);
  ASSERT_EQ(file->Write(kBytes.data(), kBytes.size()), 0);
  EXPECT_EQ(file->Publish(Path("free.pdf"), PublishMode::kNoReplace), EEXIST);
  EXPECT_EQ(file->Publish(Path("free-1.pdf"), PublishMode::kNoReplace), 0);
  EXPECT_EQ(Read(Path("free-1.pdf")), std::string(kBytes.begin(), kBytes.end()));
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 3);  // no temporary left
}

TEST_F(PosixFileSystemTest, IdentityFollowsLinksAndKindDoesNot) {
  std::ofstream(Path("photo.jpg")) << "p";
  fs::create_symlink(Path("photo.jpg"), Path("link.jpg"));
  fs::create_hard_link(Path("photo.jpg"), Path("hard.jpg"));
  ASSERT_TRUE(files_.IdentityOf(Path("photo.jpg")));
  EXPECT_EQ(files_.IdentityOf(Path("link.jpg")), files_.IdentityOf(Path("photo.jpg")));
  EXPECT_EQ(files_.IdentityOf(Path("hard.jpg")), files_.IdentityOf(Path("photo.jpg")));
  EXPECT_EQ(files_.IdentityOf(Path("none.jpg")), std::nullopt);
  EXPECT_EQ(files_.IdentityOf(""), std::nullopt);
  EXPECT_EQ(files_.KindAt(Path("link.jpg")), PathKind::kLink);
  EXPECT_EQ(files_.KindAt(Path("photo.jpg")), PathKind::kFile);
  EXPECT_EQ(files_.KindAt(root_.string()), PathKind::kFolder);
  EXPECT_EQ(files_.KindAt(Path("none.jpg")), PathKind::kMissing);
}

TEST_F(PosixFileSystemTest, WriteFileReplacesALinkInsteadOfWritingThroughIt) {
  std::ofstream(Path("victim")) << "keep";
  fs::create_symlink(Path("victim"), Path("sheet.jpg"));
  ASSERT_EQ(files_.WriteFile(Path("sheet.jpg"), kBytes), 0);
  EXPECT_EQ(Read(Path("victim")), "keep");
  EXPECT_FALSE(fs::is_symlink(Path("sheet.jpg")));
  EXPECT_EQ(Read(Path("sheet.jpg")), std::string(kBytes.begin(), kBytes.end()));
  EXPECT_EQ(files_.WriteFile(Path("missing/sheet.jpg"), kBytes), ENOENT);
  EXPECT_FALSE(fs::exists(Path("missing")));
}

TEST_F(PosixFileSystemTest, ReadIsBoundedAndRefusesWhatIsNotARegularFile) {
  ASSERT_EQ(files_.WriteNewFile(Path("r.txt"), kBytes), 0);
  int error = -1;
  EXPECT_EQ(files_.ReadFile(Path("r.txt"), 100, &error), kBytes);
  EXPECT_EQ(files_.ReadFile(Path("r.txt"), 3, &error), std::vector<uint8_t>({'j', 'o', 'b'}));
  EXPECT_EQ(files_.ReadFile(Path("none"), 100, &error), std::nullopt);
  EXPECT_EQ(error, ENOENT);
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);  // would block a plain open for reading
  EXPECT_EQ(files_.ReadFile(Path("fifo"), 100, &error), std::nullopt);
  EXPECT_NE(error, 0);
  EXPECT_FALSE(files_.IsRegularFile(Path("fifo")));
  EXPECT_FALSE(files_.IsRegularFile(root_.string()));
  EXPECT_TRUE(files_.IsRegularFile(Path("r.txt")));
}

TEST_F(PosixFileSystemTest, RemoveAndCreateFolderReportTheSystemsReason) {
  ASSERT_EQ(files_.WriteNewFile(Path("gone.txt"), kBytes), 0);
  EXPECT_EQ(files_.RemoveFile(Path("gone.txt")), 0);
  EXPECT_EQ(files_.RemoveFile(Path("gone.txt")), ENOENT);
  EXPECT_EQ(files_.CreateFolder(Path("sub"), 0700), 0);
  EXPECT_EQ(files_.CreateFolder(Path("sub"), 0700), EEXIST);
  EXPECT_NE(files_.RemoveFile(Path("sub")), 0);
  EXPECT_TRUE(fs::is_directory(Path("sub")));
}

}  // namespace
}  // namespace platform
