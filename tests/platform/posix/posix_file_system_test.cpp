// PosixFileSystem against a real folder: the temporary folder's refusals, new files that never replace or
// follow links, atomic replacement, bounded reads, no partial file after a failed write, and the kind and
// the system's reason every failure carries.
#include "platform/posix/posix_file_system.h"

#include <errno.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>
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
  base::StatusOr<std::string> folder = files.TempFolder();
  ASSERT_TRUE(folder.ok()) << folder.status().ToString();
  EXPECT_EQ(*folder, Path("pv_temp"));
  EXPECT_EQ(ModeOf(Path("pv_temp")), 0700u);
  EXPECT_EQ(files.TempFolder().value(), Path("pv_temp"));
}

TEST_F(PosixFileSystemTest, TempFolderRefusesLinksFilesAndOpenFoldersNamingThePath) {
  fs::create_directory(Path("real"));
  fs::create_directory_symlink(Path("real"), Path("link"));
  std::ofstream(Path("plain_file")) << "x";
  fs::create_directory(Path("shared"));
  ::chmod(Path("shared").c_str(), 0770);
  for (const char* name : {"link", "plain_file", "shared"}) {
    const base::StatusOr<std::string> refused = PosixFileSystem(Path(name)).TempFolder();
    EXPECT_EQ(refused.status().code(), base::Status::Code::kAccessDenied) << name;
    EXPECT_EQ(refused.status().message().rfind(Path(name) + ": ", 0), 0u) << refused.status().ToString();
  }
  EXPECT_NE(PosixFileSystem(Path("link")).TempFolder().status().message(),
            PosixFileSystem(Path("plain_file")).TempFolder().status().message());

  const base::Status missing = PosixFileSystem(Path("missing_parent/pv")).TempFolder().status();
  EXPECT_EQ(missing.code(), base::Status::Code::kNotFound);
  EXPECT_EQ(missing.message(), Path("missing_parent/pv") + ": " + std::strerror(ENOENT));
  EXPECT_EQ(PosixFileSystem("not/absolute").TempFolder().status().code(), base::Status::Code::kInvalidArgument);
}

TEST_F(PosixFileSystemTest, NewFileNeverReplacesNorFollowsALink) {
  ASSERT_TRUE(files_.WriteNewFile(Path("a.txt"), kBytes).ok());
  EXPECT_EQ(Read(Path("a.txt")), std::string(kBytes.begin(), kBytes.end()));
  EXPECT_EQ(ModeOf(Path("a.txt")), 0600u);
  const base::Status taken = files_.WriteNewFile(Path("a.txt"), {'z'});
  EXPECT_EQ(taken.code(), base::Status::Code::kAlreadyExists);
  EXPECT_EQ(taken.message(), Path("a.txt") + ": " + std::strerror(EEXIST));
  EXPECT_EQ(Read(Path("a.txt")), std::string(kBytes.begin(), kBytes.end()));

  // A dangling link at the name: the target must not be created through it.
  fs::create_symlink(Path("target.txt"), Path("planted"));
  EXPECT_EQ(files_.WriteNewFile(Path("planted"), kBytes).code(), base::Status::Code::kAlreadyExists);
  EXPECT_FALSE(fs::exists(Path("target.txt")));
  const base::Status no_folder = files_.WriteNewFile(Path("no_folder/a.txt"), kBytes);
  EXPECT_EQ(no_folder.code(), base::Status::Code::kNotFound);
  EXPECT_EQ(no_folder.message(), Path("no_folder") + ": " + std::strerror(ENOENT));
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
  const base::Status new_error = files_.WriteNewFile(Path("big.txt"), big);
  std::ofstream(Path("kept.txt")) << "old";
  const base::Status in_place_error = files_.WriteFile(Path("kept.txt"), big);
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::signal(SIGXFSZ, previous_handler);

  EXPECT_EQ(new_error.code(), base::Status::Code::kTooLarge);
  EXPECT_EQ(new_error.message().rfind(Path("big.txt") + ": " + Path(".pictavera-"), 0), 0u) << new_error.message();
  EXPECT_FALSE(fs::exists(Path("big.txt")));
  EXPECT_EQ(in_place_error.code(), base::Status::Code::kTooLarge);
  EXPECT_EQ(Read(Path("kept.txt")), "old");
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 1);
}

TEST_F(PosixFileSystemTest, NamesAsLongAsTheFolderAllowsAreWritten) {
  // The temporary name is short whatever the final one: 255 bytes is the usual limit of one name.
  for (const size_t length : {241u, 255u}) {
    const std::string path = Path(std::string(length - 4, 'n') + ".jpg");
    EXPECT_TRUE(files_.WriteFile(path, kBytes).ok()) << length;
    EXPECT_EQ(Read(path), std::string(kBytes.begin(), kBytes.end()));
  }
  EXPECT_EQ(files_.WriteNewFile(Path(std::string(256, 'n')), kBytes).code(), base::Status::Code::kInvalidArgument);
  EXPECT_EQ(std::distance(fs::directory_iterator(root_), fs::directory_iterator()), 2);
}

// Publishing calls as a file system without renameat2 flags and without hard links answers them.
int RefuseRenameFlags(const char*, const char*) { return EINVAL; }
int RefuseHardLinks(const char*, const char*) { return EPERM; }

TEST_F(PosixFileSystemTest, NewFilesNeverReplaceEvenWhereHardLinksAreRefused) {
  PosixFileSystem no_links(std::nullopt, NoReplaceCalls{RefuseRenameFlags, RefuseHardLinks});
  std::ofstream(Path("taken.pdf")) << "earlier print";
  EXPECT_EQ(no_links.WriteNewFile(Path("taken.pdf"), kBytes).code(), base::Status::Code::kAlreadyExists);
  EXPECT_EQ(Read(Path("taken.pdf")), "earlier print");
  ASSERT_TRUE(no_links.WriteNewFile(Path("free.pdf"), kBytes).ok());
  EXPECT_EQ(Read(Path("free.pdf")), std::string(kBytes.begin(), kBytes.end()));

  // A pending file refused one name stays whole and takes the next; a name in another folder changes
  // nothing either.
  base::StatusOr<std::unique_ptr<PendingFile>> file = no_links.StartFile(root_.string(), 0644);
  ASSERT_TRUE(file.ok());
  ASSERT_TRUE((*file)->Write(kBytes.data(), kBytes.size()).ok());
  EXPECT_EQ((*file)->Publish(Path("free.pdf"), PublishMode::kNoReplace).code(), base::Status::Code::kAlreadyExists);
  EXPECT_EQ((*file)->Publish("/elsewhere/free.pdf", PublishMode::kNoReplace).code(),
            base::Status::Code::kInvalidArgument);
  EXPECT_TRUE((*file)->Publish(Path("free-1.pdf"), PublishMode::kNoReplace).ok());
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
  ASSERT_TRUE(files_.WriteFile(Path("sheet.jpg"), kBytes).ok());
  EXPECT_EQ(Read(Path("victim")), "keep");
  EXPECT_FALSE(fs::is_symlink(Path("sheet.jpg")));
  EXPECT_EQ(Read(Path("sheet.jpg")), std::string(kBytes.begin(), kBytes.end()));
  EXPECT_EQ(files_.WriteFile(Path("missing/sheet.jpg"), kBytes).code(), base::Status::Code::kNotFound);
  // A folder at the name is never replaced.
  fs::create_directory(Path("folder.jpg"));
  EXPECT_EQ(files_.WriteFile(Path("folder.jpg"), kBytes).code(), base::Status::Code::kAccessDenied);
  EXPECT_TRUE(fs::is_directory(Path("folder.jpg")));
  EXPECT_FALSE(fs::exists(Path("missing")));
}

TEST_F(PosixFileSystemTest, ReadIsBoundedAndRefusesWhatIsNotARegularFile) {
  ASSERT_TRUE(files_.WriteNewFile(Path("r.txt"), kBytes).ok());
  EXPECT_EQ(files_.ReadFile(Path("r.txt"), 100).value(), kBytes);
  EXPECT_EQ(files_.ReadFile(Path("r.txt"), 3).value(), std::vector<uint8_t>({'j', 'o', 'b'}));
  ASSERT_TRUE(files_.WriteNewFile(Path("empty.txt"), {}).ok());
  EXPECT_EQ(files_.ReadFile(Path("empty.txt"), 100).value(), std::vector<uint8_t>());
  EXPECT_EQ(files_.ReadFile(Path("none"), 100).status().code(), base::Status::Code::kNotFound);
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);  // would block a plain open for reading
  const base::Status fifo = files_.ReadFile(Path("fifo"), 100).status();
  EXPECT_EQ(fifo.code(), base::Status::Code::kAccessDenied);
  EXPECT_EQ(fifo.message(), Path("fifo") + ": not a regular file");
  EXPECT_EQ(files_.ReadFile(root_.string(), 100).status().code(), base::Status::Code::kAccessDenied);
  EXPECT_FALSE(files_.IsRegularFile(Path("fifo")));
  EXPECT_FALSE(files_.IsRegularFile(root_.string()));
  EXPECT_TRUE(files_.IsRegularFile(Path("r.txt")));
}

TEST_F(PosixFileSystemTest, RemoveAndCreateFolderReportTheSystemsReason) {
  ASSERT_TRUE(files_.WriteNewFile(Path("gone.txt"), kBytes).ok());
  EXPECT_TRUE(files_.RemoveFile(Path("gone.txt")).ok());
  const base::Status gone = files_.RemoveFile(Path("gone.txt"));
  EXPECT_EQ(gone.code(), base::Status::Code::kNotFound);
  EXPECT_EQ(gone.message(), Path("gone.txt") + ": " + std::strerror(ENOENT));
  EXPECT_TRUE(files_.CreateFolder(Path("sub"), 0700).ok());
  EXPECT_EQ(files_.CreateFolder(Path("sub"), 0700).code(), base::Status::Code::kAlreadyExists);
  EXPECT_EQ(files_.CreateFolder(Path("none/sub"), 0700).code(), base::Status::Code::kNotFound);
  EXPECT_EQ(files_.RemoveFile(Path("sub")).code(), base::Status::Code::kAccessDenied);
  EXPECT_TRUE(fs::is_directory(Path("sub")));

  const base::StatusOr<std::vector<std::string>> own = files_.OwnFiles(root_.string());
  ASSERT_TRUE(own.ok());
  EXPECT_TRUE(own->empty());  // the folder "sub" is no file
  EXPECT_EQ(files_.OwnFiles(Path("none")).status().code(), base::Status::Code::kNotFound);
}

}  // namespace
}  // namespace platform
