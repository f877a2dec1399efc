// Tests of the Windows file opener: names that have no exact UTF-16 form and anything that is not a file
// on disk are refused, for reading and for writing.
#include "helper/file_open.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/helper/test_images.h"

namespace mosalith {
namespace {

TEST(FileOpenWinTest, NamesWithoutAnExactUtf16FormAreRefused) {
  testing::TempDir dir;
  const std::string photo = dir.File("photo");
  testing::WriteBytes(photo, {1, 2, 3});
  std::vector<uint8_t> bytes;
  ASSERT_TRUE(ReadWholeFile(photo, bytes, 100));
  EXPECT_EQ(bytes, (std::vector<uint8_t>{1, 2, 3}));

  // A NUL would cut the name short and open "photo" instead.
  EXPECT_FALSE(OpenFile(photo + std::string("\0.jpg", 5), "rb"));
  EXPECT_FALSE(OpenFile(photo + std::string("\0.jpg", 5), "wb"));
  // Bytes that are not UTF-8 (a name in another encoding) are not guessed at.
  const std::string folder = photo.substr(0, photo.size() - 5);
  EXPECT_FALSE(OpenFile(folder + "caf\xE9.jpg", "wb"));
  EXPECT_FALSE(OpenFile(folder + "\xED\xA0\x80.jpg", "wb"));  // an encoded surrogate
  EXPECT_TRUE(OpenFile(folder + "caf\xC3\xA9.jpg", "wb"));
  EXPECT_FALSE(OpenFile("", "rb"));
}

TEST(FileOpenWinTest, DevicesAreRefused) {
  for (const char* device : {"NUL", "CON", "CONIN$", "\\\\.\\NUL"}) {
    EXPECT_FALSE(OpenFile(device, "rb")) << device;
    EXPECT_FALSE(OpenFile(device, "wb")) << device;
    std::vector<uint8_t> bytes;
    EXPECT_FALSE(ReadWholeFile(device, bytes, 100)) << device;
  }
}

}  // namespace
}  // namespace mosalith
