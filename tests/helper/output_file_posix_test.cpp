// Tests of sheet files written in place on this platform: a link at the sheet's name and a disk that
// fills up part way through (the file size limit stands in for it).
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "helper/image_io.h"
#include "tests/helper/test_images.h"
#include "tests/support/temp_folder.h"

namespace mosalith {
namespace {

using testing::MakeImage;

testing::Rgba Gradient(int32_t x, int32_t y) {
  return (static_cast<testing::Rgba>(150 + x) << 24) | (static_cast<testing::Rgba>(90 + y) << 16) | (60u << 8) | 0xFFu;
}

// Every name in the folder, hidden ones included.
std::vector<std::string> NamesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(OutputFileTest, ASheetReplacesALinkAtItsNameNeverTheLinksTarget) {
  test_support::TempFolder dir;
  test_support::WriteBytes(dir.File("photo.jpg"), {'k', 'e', 'e', 'p'});
  std::filesystem::create_symlink(dir.File("photo.jpg"), dir.File("sheet.jpg"));
  ASSERT_TRUE(WriteJpeg(MakeImage(8, 8, Gradient), dir.File("sheet.jpg"), 90, testing::Codec()));
  EXPECT_EQ(test_support::ReadBytes(dir.File("photo.jpg")), std::vector<uint8_t>({'k', 'e', 'e', 'p'}));
  EXPECT_FALSE(std::filesystem::is_symlink(dir.File("sheet.jpg")));
  EXPECT_TRUE(testing::LoadImage(dir.File("sheet.jpg"), testing::Codec()));
  EXPECT_EQ(NamesIn(dir.File("")), std::vector<std::string>({"photo.jpg", "sheet.jpg"}));
}

TEST(OutputFileTest, AFailedWriteLeavesTheOlderFileAndNothingElse) {
  test_support::TempFolder dir;
  const imaging::Bitmap picture = MakeImage(256, 256, Gradient);
  const std::string path = dir.File("sheet.jpg");
  test_support::WriteBytes(path, {'o', 'l', 'd'});
  struct rlimit previous {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &previous), 0);
  const sighandler_t previous_handler = ::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = previous;
  small.rlim_cur = 1000;
  ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = WriteJpeg(picture, path, 95, testing::Codec());
  const bool written_new = WriteJpeg(picture, dir.File("new.jpg"), 95, testing::Codec());
  ::setrlimit(RLIMIT_FSIZE, &previous);
  ::signal(SIGXFSZ, previous_handler);
  EXPECT_FALSE(written);
  EXPECT_FALSE(written_new);
  EXPECT_EQ(test_support::ReadBytes(path), std::vector<uint8_t>({'o', 'l', 'd'}));
  EXPECT_EQ(NamesIn(dir.File("")), std::vector<std::string>({"sheet.jpg"}));
}

}  // namespace
}  // namespace mosalith
