// Tests for the EXIF orientation reader: byte orders, bounds, hostile lengths and a real tagged file.
#include "helper/exif_orientation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "helper/image_io.h"
#include "tests/helper/test_images.h"

namespace mosalith {
namespace {

using testing::ExifSegment;
using testing::InsertAfterStart;

const std::vector<uint8_t> kStartOfImage = {0xFF, 0xD8};
const std::vector<uint8_t> kEndOfImage = {0xFF, 0xD9};

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

int Orientation(const std::vector<uint8_t>& bytes) { return ExifOrientationFromBytes(bytes.data(), bytes.size()); }

// A segment with `marker` and `payload_bytes` bytes of filler.
std::vector<uint8_t> Segment(uint8_t marker, size_t payload_bytes) {
  std::vector<uint8_t> out = {0xFF, marker, static_cast<uint8_t>((payload_bytes + 2) >> 8),
                              static_cast<uint8_t>(payload_bytes + 2)};
  out.resize(out.size() + payload_bytes, 0x20);
  return out;
}

TEST(ExifOrientationTest, ReadsBothByteOrdersAndEveryValidValue) {
  EXPECT_EQ(Orientation(Concat({kStartOfImage, ExifSegment(true, 6), kEndOfImage})), 6);
  EXPECT_EQ(Orientation(Concat({kStartOfImage, ExifSegment(false, 6), kEndOfImage})), 6);
  for (uint16_t value = 1; value <= 8; ++value) {
    EXPECT_EQ(Orientation(Concat({kStartOfImage, ExifSegment(value % 2 == 0, value)})), value) << value;
  }
}

TEST(ExifOrientationTest, ValuesOutsideOneToEightGiveUpright) {
  EXPECT_EQ(Orientation(Concat({kStartOfImage, ExifSegment(true, 9)})), 1);
  EXPECT_EQ(Orientation(Concat({kStartOfImage, ExifSegment(false, 0)})), 1);
  EXPECT_EQ(Orientation(Concat({kStartOfImage, ExifSegment(false, 0x0600)})), 1);  // 6 in the wrong order
}

TEST(ExifOrientationTest, WalksPastOtherSegmentsFillBytesAndRepeatedStart) {
  const std::vector<uint8_t> fill = {0xFF, 0xFF};
  const std::vector<uint8_t> xmp = Concat({{0xFF, 0xE1, 0x00, 0x0A}, {'h', 't', 't', 'p', ':', '/', '/', 'n'}});
  EXPECT_EQ(Orientation(Concat({kStartOfImage, Segment(0xE0, 14), fill, xmp, kStartOfImage,
                                ExifSegment(false, 8)})),
            8);
}

TEST(ExifOrientationTest, StopsAtScanEndOrNonMarkerBytes) {
  EXPECT_EQ(Orientation(Concat({kStartOfImage, Segment(0xDA, 4), ExifSegment(true, 6)})), 1);
  EXPECT_EQ(Orientation(Concat({kStartOfImage, kEndOfImage, ExifSegment(true, 6)})), 1);
  EXPECT_EQ(Orientation(Concat({kStartOfImage, {0x00}, ExifSegment(true, 6)})), 1);
  // A length below 2 cannot count its own bytes.
  EXPECT_EQ(Orientation(Concat({kStartOfImage, {0xFF, 0xE0, 0x00, 0x01}, ExifSegment(true, 6)})), 1);
}

TEST(ExifOrientationTest, NotAJpegOrTooShortIsUpright) {
  const std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  EXPECT_EQ(Orientation(Concat({png, ExifSegment(true, 6)})), 1);
  EXPECT_EQ(Orientation({0xFF, 0xD8, 0xFF}), 1);
  EXPECT_EQ(Orientation({}), 1);
  EXPECT_EQ(ExifOrientationFromBytes(nullptr, 100), 1);
}

TEST(ExifOrientationTest, EveryTruncationOfTheExifBlockIsUpright) {
  const std::vector<uint8_t> full = Concat({kStartOfImage, ExifSegment(true, 6)});
  // The value ends 6 bytes before the end: 2 bytes of padding and the next-directory offset follow.
  const size_t value_end = full.size() - 6;
  for (size_t size = 0; size < value_end; ++size) {
    // A copy of exactly `size` bytes so that a read past the end is caught by the sanitizer builds.
    const std::vector<uint8_t> cut(full.begin(), full.begin() + size);
    EXPECT_EQ(Orientation(cut), 1) << "cut at " << size;
  }
  EXPECT_EQ(Orientation(std::vector<uint8_t>(full.begin(), full.begin() + value_end)), 6);
}

TEST(ExifOrientationTest, HostileOffsetsCountsAndLengthsStayInside) {
  std::vector<uint8_t> segment = ExifSegment(true, 6);
  const size_t tiff = 4 + 6;  // marker, length, "Exif\0\0"

  std::vector<uint8_t> far_directory = segment;
  far_directory[tiff + 4] = 0xF0;  // directory offset 0xFFFFFFF0
  far_directory[tiff + 5] = far_directory[tiff + 6] = far_directory[tiff + 7] = 0xFF;
  EXPECT_EQ(Orientation(Concat({kStartOfImage, far_directory})), 1);

  std::vector<uint8_t> many_entries = segment;
  many_entries[tiff + 8] = 0xFF;  // 0xFFFF entries; the orientation entry is replaced by another tag
  many_entries[tiff + 9] = 0xFF;
  many_entries[tiff + 10 + 12] = 0x13;
  EXPECT_EQ(Orientation(Concat({kStartOfImage, many_entries})), 1);

  // The segment claims 65535 bytes but the data ends sooner: the data's end bounds every read.
  std::vector<uint8_t> long_claim = segment;
  long_claim[2] = long_claim[3] = 0xFF;
  EXPECT_EQ(Orientation(Concat({kStartOfImage, long_claim})), 6);
  long_claim.resize(long_claim.size() - 7);  // now the value itself is cut off
  EXPECT_EQ(Orientation(Concat({kStartOfImage, long_claim})), 1);

  // The segment's own length ends before the directory, although more bytes follow in the file.
  std::vector<uint8_t> short_claim = segment;
  short_claim[3] = static_cast<uint8_t>(2 + 6 + 8 + 2);  // header, "Exif", TIFF header, entry count
  EXPECT_EQ(Orientation(Concat({kStartOfImage, short_claim})), 1);

  // An APP1 of length exactly 8 holds "Exif\0\0" and no TIFF byte.
  EXPECT_EQ(Orientation(Concat({kStartOfImage, {0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0}})), 1);
}

class ExifFileTest : public ::testing::Test {
 protected:
  std::string TaggedJpeg(const std::vector<uint8_t>& extra_segments, uint16_t orientation) {
    std::optional<ImageBuffer> image = ImageBuffer::Filled(16, 8, 120);
    const std::string plain = dir_.File("plain.jpg");
    EXPECT_TRUE(WriteJpeg(*image, plain, 90, testing::Codec()));
    const std::string tagged = dir_.File("tagged.jpg");
    std::vector<uint8_t> segments = extra_segments;
    const std::vector<uint8_t> exif = ExifSegment(false, orientation);
    segments.insert(segments.end(), exif.begin(), exif.end());
    testing::WriteBytes(tagged, InsertAfterStart(testing::ReadBytes(plain), segments));
    return tagged;
  }
  testing::TempDir dir_;
};

TEST_F(ExifFileTest, ReadsTheTagOfAFileAndOnlyItsFirst64KiB) {
  EXPECT_EQ(ReadExifOrientation(TaggedJpeg({}, 6)), 6);
  // Two 40000-byte comment segments push the EXIF block beyond the searched bytes.
  const std::vector<uint8_t> comment = Segment(0xFE, 40000);
  const std::string late = TaggedJpeg(Concat({comment, comment}), 6);
  EXPECT_EQ(ReadExifOrientation(late), 1);
  // The same bytes in memory, unbounded by the search limit, hold the tag: the limit made the difference.
  const std::vector<uint8_t> bytes = testing::ReadBytes(late);
  EXPECT_EQ(ExifOrientationFromBytes(bytes.data(), bytes.size()), 6);
}

TEST_F(ExifFileTest, MissingFileIsUpright) { EXPECT_EQ(ReadExifOrientation(dir_.File("absent.jpg")), 1); }

TEST_F(ExifFileTest, ReadsATagWrittenByExiftool) {
  if (std::system("exiftool -ver > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "exiftool is not installed (Debian package libimage-exiftool-perl)";
  }
  std::optional<ImageBuffer> image = ImageBuffer::Filled(32, 16, 90);
  const std::string path = dir_.File("camera.jpg");
  ASSERT_TRUE(WriteJpeg(*image, path, 90, testing::Codec()));
  const std::string command = "exiftool -q -overwrite_original -Orientation#=8 '" + path + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadExifOrientation(path), 8);
}

}  // namespace
}  // namespace mosalith
