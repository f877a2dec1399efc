// Tests for the libexif metadata reader on files written to a temporary folder.
#include "platform/libexif/libexif_metadata_reader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

#include "tests/imaging/header/exif_test_files.h"
#include "tests/support/temp_folder.h"

namespace platform {
namespace {

using namespace imaging::testing;

class LibexifMetadataReaderTest : public ::testing::Test {
 protected:
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = folder_ + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
    return path;
  }

  test_support::TempFolder temp_{"pv-exif"};
  const std::string folder_ = temp_.str();
  LibexifMetadataReader reader_;
};

TEST_F(LibexifMetadataReaderTest, ReadsSizeOrientationAndBothDatesAsStored) {
  const std::string path = Write(
      "a.jpg", JpegHeaderFile({Segment(0xE1, BuildExif({ShortEntry(kTagOrientation, 6),
                                                          AsciiEntry(kTagDateTime, "2020:01:01 00:00:00")},
                                                         {AsciiEntry(kTagDateTimeOriginal, "2024:05:06 10:20:30")})),
                               FrameSegment(4000, 3000)}));
  imaging::MetadataStatus status = imaging::MetadataStatus::kUnreadable;
  const auto metadata = reader_.Read(path, &status);
  ASSERT_TRUE(metadata);
  EXPECT_EQ(status, imaging::MetadataStatus::kOk);
  EXPECT_EQ(metadata->width_px, 4000);
  EXPECT_EQ(metadata->height_px, 3000);
  EXPECT_EQ(metadata->orientation, 6);
  EXPECT_EQ(metadata->date_time_original, "2024:05:06 10:20:30");
  EXPECT_EQ(metadata->date_time, "2020:01:01 00:00:00");
}

TEST_F(LibexifMetadataReaderTest, ReportsOnlyStoredTagsAndTheOneOrientationRule) {
  // Two orientation values are no orientation; nothing else is invented.
  TiffEntry two_values = ShortEntry(kTagOrientation, 6);
  two_values.count = 2;
  two_values.value = {6, 0, 1, 0};
  const std::string path =
      Write("count2.jpg", JpegHeaderFile({Segment(0xE1, BuildExif({two_values})), FrameSegment(8, 6)}));
  const auto metadata = reader_.Read(path);
  ASSERT_TRUE(metadata);
  EXPECT_EQ(metadata->orientation, 1);
  EXPECT_FALSE(metadata->date_time_original);
  EXPECT_FALSE(metadata->date_time);

  const std::string none = Write("plain.jpg", JpegHeaderFile({FrameSegment(8, 6)}));
  const auto plain = reader_.Read(none);
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->orientation, 1);
}

TEST_F(LibexifMetadataReaderTest, UnterminatedAndOverlongStringsAreCopiedWithinTheirBytes) {
  TiffEntry unterminated = AsciiEntry(kTagDateTime, "2021:02:03 04:05:06", false);
  TiffEntry overlong = AsciiEntry(kTagDateTimeOriginal, "2022:02:03 04:05:06");
  overlong.count = 0x7fffffff;  // claims far more than the block holds
  const std::string path =
      Write("s.jpg", JpegHeaderFile({Segment(0xE1, BuildExif({unterminated}, {overlong})), FrameSegment(8, 6)}));
  const auto metadata = reader_.Read(path);
  ASSERT_TRUE(metadata);
  EXPECT_EQ(metadata->date_time, "2021:02:03 04:05:06");
  EXPECT_FALSE(metadata->date_time_original);
}

TEST_F(LibexifMetadataReaderTest, GarbageExifKeepsTheSize) {
  std::vector<uint8_t> garbage = {'E', 'x', 'i', 'f', 0, 0, 'M', 'M', 0, 42, 0xff, 0xff, 0xff, 0xf0, 1, 2, 3};
  const std::string path = Write("g.jpg", JpegHeaderFile({Segment(0xE1, garbage), FrameSegment(33, 44)}));
  const auto metadata = reader_.Read(path);
  ASSERT_TRUE(metadata);
  EXPECT_EQ(metadata->width_px, 33);
  EXPECT_EQ(metadata->orientation, 1);
}

TEST_F(LibexifMetadataReaderTest, FailuresSayWhy) {
  imaging::MetadataStatus status = imaging::MetadataStatus::kOk;
  EXPECT_FALSE(reader_.Read(folder_ + "/missing.jpg", &status));
  EXPECT_EQ(status, imaging::MetadataStatus::kNotFound);
  EXPECT_FALSE(reader_.Read(folder_, &status));
  EXPECT_EQ(status, imaging::MetadataStatus::kUnreadable);
  const std::string fifo = folder_ + "/fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_FALSE(reader_.Read(fifo, &status));  // refused without waiting for a writer
  EXPECT_EQ(status, imaging::MetadataStatus::kUnreadable);
  EXPECT_FALSE(reader_.Read(Write("t.txt", {'h', 'e', 'l', 'l', 'o'}), &status));
  EXPECT_EQ(status, imaging::MetadataStatus::kUnknownFormat);
}

}  // namespace
}  // namespace platform
