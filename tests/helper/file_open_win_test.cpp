// Tests of the Windows file opener: names that have no exact UTF-16 form and anything that is not a file
// on disk are refused, for reading and for writing.
#include "helper/file_open.h"
#include "helper/output_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "tests/helper/test_images.h"
#include "tests/support/temp_folder.h"

namespace mosalith {
namespace {

TEST(FileOpenWinTest, NamesWithoutAnExactUtf16FormAreRefused) {
  test_support::TempFolder dir;
  const std::string photo = dir.File("photo");
  test_support::WriteBytes(photo, {1, 2, 3});
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

TEST(FileOpenWinTest, OutputFilesReplaceOnlyFilesAndLeaveNothingBehindOnFailure) {
  test_support::TempFolder dir;
  const std::string sheet = dir.File("sheet.jpg");
  test_support::WriteBytes(sheet, {'o', 'l', 'd'});
  std::optional<OutputFile> file = OutputFile::Create(sheet);
  ASSERT_TRUE(file);
  ASSERT_TRUE(file->Write(reinterpret_cast<const uint8_t*>("new"), 3));
  ASSERT_TRUE(file->Commit());
  EXPECT_EQ(test_support::ReadBytes(sheet), (std::vector<uint8_t>{'n', 'e', 'w'}));

  // A folder at the final name is refused, and the temporary file goes with the failure.
  std::filesystem::create_directory(test_support::PathFromUtf8(dir.File("folder.jpg")));
  std::optional<OutputFile> blocked = OutputFile::Create(dir.File("folder.jpg"));
  ASSERT_TRUE(blocked);
  ASSERT_TRUE(blocked->Write(reinterpret_cast<const uint8_t*>("x"), 1));
  EXPECT_FALSE(blocked->Commit());
  blocked.reset();
  size_t names = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(test_support::PathFromUtf8(dir.File("")))) {
    ++names;
  }
  EXPECT_EQ(names, 2u);  // sheet.jpg and folder.jpg
  EXPECT_EQ(IdentifyFile(sheet), IdentifyFile(dir.File("sheet.jpg")));
  EXPECT_NE(IdentifyFile(sheet), IdentifyFile(dir.File("folder.jpg")));
}

}  // namespace
}  // namespace mosalith
