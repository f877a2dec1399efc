// The file primitives against a real folder: bounded reads that refuse what is not a regular file,
// atomic replacement that keeps the old file on failure, folders made on the way, and the user's
// folders from the environment's variables.
#include "platform/posix/file_primitives.h"

#include <errno.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

namespace platform {
namespace {

namespace fs = std::filesystem;

class FilePrimitivesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    root_ = fs::temp_directory_path() / ("file_primitives_test_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
  }
  void TearDown() override { fs::remove_all(root_); }
  std::string Path(const std::string& name) const { return (root_ / name).string(); }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(Path(name), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  size_t Entries() const { return static_cast<size_t>(std::distance(fs::directory_iterator(root_), {})); }

  fs::path root_;
};

TEST_F(FilePrimitivesTest, ReadsAreBoundedAndOnlyOfRegularFiles) {
  Write("five", "12345");
  std::string text = "old";
  EXPECT_EQ(ReadWholeFile(Path("five"), 5, &text), 0);
  EXPECT_EQ(text, "12345");
  EXPECT_EQ(ReadWholeFile(Path("five"), 4, &text), EFBIG);
  EXPECT_TRUE(text.empty());
  std::vector<uint8_t> start;
  EXPECT_EQ(ReadFileStart(Path("five"), 3, &start), 0);
  EXPECT_EQ(start, (std::vector<uint8_t>{'1', '2', '3'}));

  EXPECT_EQ(ReadWholeFile(Path("none"), 10, &text), ENOENT);
  EXPECT_EQ(ReadWholeFile(root_.string(), 10, &text), EINVAL);
  // A FIFO without a writer would block a plain open: refused at once instead.
  ASSERT_EQ(::mkfifo(Path("fifo").c_str(), 0600), 0);
  EXPECT_EQ(ReadWholeFile(Path("fifo"), 10, &start), EINVAL);
  Write("empty", "");
  EXPECT_EQ(ReadWholeFile(Path("empty"), 0, &text), 0);
  EXPECT_TRUE(text.empty());
}

TEST_F(FilePrimitivesTest, ReplacementIsWholeOrNotAtAll) {
  Write("state", "old");
  EXPECT_EQ(ReplaceFileAtomically(Path("state"), "new", 3, 0600), 0);
  EXPECT_EQ(Read("state"), "new");
  struct stat info {};
  ASSERT_EQ(::stat(Path("state").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0600u);

  // A link at the destination is replaced, never written through.
  Write("target", "kept");
  fs::create_symlink(Path("target"), Path("link"));
  EXPECT_EQ(ReplaceFileAtomically(Path("link"), "x", 1, 0600), 0);
  EXPECT_FALSE(fs::is_symlink(Path("link")));
  EXPECT_EQ(Read("target"), "kept");

  EXPECT_EQ(ReplaceFileAtomically(Path("missing/state"), "x", 1, 0600), ENOENT);
  EXPECT_EQ(ReplaceFileAtomically(root_.string(), "x", 1, 0600), EISDIR);

  // A full disk (a file size limit here): the old file stays and no temporary file is left.
  const size_t before = Entries();
  rlimit old_limit {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old_limit), 0);
  const auto old_handler = ::signal(SIGXFSZ, SIG_IGN);
  rlimit small = old_limit;
  small.rlim_cur = 2;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  bool started = false;
  const int error = ReplaceFileAtomically(Path("state"), "longer", 6, 0600, &started);
  ::setrlimit(RLIMIT_FSIZE, &old_limit);
  ::signal(SIGXFSZ, old_handler);
  EXPECT_EQ(error, EFBIG);
  EXPECT_TRUE(started);
  EXPECT_EQ(Read("state"), "new");
  EXPECT_EQ(Entries(), before);
}

TEST_F(FilePrimitivesTest, FoldersAreMadeOnTheWay) {
  EXPECT_EQ(MakeFolders(Path("a/b/c")), 0);
  EXPECT_TRUE(fs::is_directory(Path("a/b/c")));
  EXPECT_EQ(MakeFolders(Path("a/b/c")), 0);
  Write("file", "x");
  EXPECT_EQ(MakeFolders(Path("file")), ENOTDIR);
  EXPECT_EQ(MakeFolders(Path("file/below")), ENOTDIR);
}

TEST_F(FilePrimitivesTest, UserFoldersFollowTheVariablesThenHome) {
  EXPECT_EQ(HomeFolder("/home/ann"), "/home/ann");
  EXPECT_EQ(ConfigFolder("/xdg/config", "/home/ann"), "/xdg/config");
  EXPECT_EQ(ConfigFolder("relative", "/home/ann"), "/home/ann/.config");
  EXPECT_EQ(ConfigFolder(nullptr, "/home/ann"), "/home/ann/.config");
  EXPECT_EQ(CacheFolder("", "/home/ann"), "/home/ann/.cache");
  EXPECT_EQ(CacheFolder("/xdg/cache", "/home/ann"), "/xdg/cache");
  // A relative HOME is not a home: the password database's entry (an absolute path) is used.
  const std::optional<std::string> own = HomeFolder("relative");
  if (own) {
    EXPECT_EQ(own->front(), '/');
  }

  const std::string config = Path("config");
  EXPECT_EQ(DocumentsFolder(nullptr, config.c_str(), "/home/ann"), "/home/ann/Documents");
  ASSERT_EQ(MakeFolders(config), 0);
  Write("config/user-dirs.dirs", "# written by the desktop\nXDG_DOCUMENTS_DIR=\"relative\"\n"
                                 "XDG_DOCUMENTS_DIR=\"$HOME/Papers\"\nXDG_MUSIC_DIR=\"/music\"\n");
  EXPECT_EQ(DocumentsFolder(nullptr, config.c_str(), "/home/ann"), "/home/ann/Papers");
  EXPECT_EQ(DocumentsFolder("/chosen", config.c_str(), "/home/ann"), "/chosen");
}

}  // namespace
}  // namespace platform
