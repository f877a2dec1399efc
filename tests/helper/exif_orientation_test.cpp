// Tests for the helper's EXIF orientation: the shared header reader over the helper's own file access,
// on real JPEG and PNG files: layouts picture tools write, files past 64 KiB of headers, hostile blocks.
#include "helper/exif_orientation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "helper/image_io.h"
#include "tests/helper/test_images.h"
#include "tests/platform/picture/exif_test_files.h"
#include "tests/support/temp_folder.h"

namespace mosalith {
namespace {

using testing::ExifSegment;
using testing::InsertAfterStart;

// A segment with `marker` and `payload_bytes` bytes of filler.
std::vector<uint8_t> Filler(uint8_t marker, size_t payload_bytes) {
  return platform::testing::Segment(marker, std::vector<uint8_t>(payload_bytes, 0x20));
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

class ExifFileTest : public ::testing::Test {
 protected:
  // A decodable 16 x 8 JPEG with `segments` right after its start of image.
  std::vector<uint8_t> Jpeg(const std::vector<uint8_t>& segments) {
    std::optional<ImageBuffer> image = ImageBuffer::Filled(16, 8, 120);
    const std::string plain = dir_.File("plain.jpg");
    EXPECT_TRUE(WriteJpeg(*image, plain, 90, testing::Codec()));
    return InsertAfterStart(test_support::ReadBytes(plain), segments);
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = dir_.File(name);
    test_support::WriteBytes(path, bytes);
    return path;
  }
  // The orientation the helper reads from `bytes` as a file, checked against the in-memory route and
  // the loader's.
  int Orientation(const std::vector<uint8_t>& bytes) {
    const std::string path = Write("photo", bytes);
    const int from_file = ReadExifOrientation(path);
    EXPECT_EQ(ExifOrientationFromBytes(bytes.data(), bytes.size()), from_file);
    std::optional<Picture> loaded = LoadPicture(path, testing::Codec());
    EXPECT_TRUE(loaded);
    if (loaded) {
      EXPECT_EQ(loaded->orientation, from_file);
    }
    return from_file;
  }
  test_support::TempFolder dir_;
};

TEST_F(ExifFileTest, ReadsBothByteOrdersAndEveryValidValue) {
  for (uint16_t value = 1; value <= 8; ++value) {
    EXPECT_EQ(Orientation(Jpeg(ExifSegment(true, value))), value) << "II " << value;
    EXPECT_EQ(Orientation(Jpeg(ExifSegment(false, value))), value) << "MM " << value;
  }
  EXPECT_EQ(Orientation(Jpeg(ExifSegment(true, 9))), 1);
  EXPECT_EQ(Orientation(Jpeg(ExifSegment(false, 0x0600))), 1);  // 6 in the wrong order
}

TEST_F(ExifFileTest, FindsTheBlockAfterCommentsBeyond64KiBAndAfterTheFrameHeader) {
  EXPECT_EQ(Orientation(Jpeg(Concat({Filler(0xFE, 1), ExifSegment(true, 6)}))), 6);
  // Two 40000-byte comments push the EXIF block beyond the first 64 KiB: still read.
  EXPECT_EQ(Orientation(Jpeg(Concat({Filler(0xFE, 40000), Filler(0xFE, 40000), ExifSegment(false, 8)}))), 8);
  // After the frame header: inserted just before the first scan.
  std::vector<uint8_t> file = Jpeg({});
  for (size_t i = 2; i + 1 < file.size(); ++i) {
    if (file[i] == 0xFF && file[i + 1] == 0xDA) {
      const std::vector<uint8_t> exif = ExifSegment(true, 3);
      file.insert(file.begin() + static_cast<std::ptrdiff_t>(i), exif.begin(), exif.end());
      break;
    }
  }
  EXPECT_EQ(Orientation(file), 3);
}

TEST_F(ExifFileTest, TwoValuesMeanNoOrientation) {
  using namespace platform::testing;
  TiffEntry two = ShortEntry(kTagOrientation, 6);
  two.count = 2;
  two.value = {6, 0, 1, 0};
  EXPECT_EQ(Orientation(Jpeg(Segment(0xE1, BuildExif({two})))), 1);
  EXPECT_EQ(Orientation(Jpeg(Segment(0xE1, BuildExif({LongEntry(kTagOrientation, 6)})))), 6);
}

TEST_F(ExifFileTest, PngCarriesItsOrientationInEXIf) {
  using namespace platform::testing;
  const std::vector<uint8_t> png = testing::PngFile(*ImageBuffer::Filled(6, 4, 200));
  const std::vector<uint8_t> exif = BuildExif({ShortEntry(kTagOrientation, 8)});
  const std::vector<uint8_t> tiff(exif.begin() + 6, exif.end());
  EXPECT_EQ(Orientation(WithPngChunk(png, PngChunk("eXIf", tiff))), 8);
  EXPECT_EQ(Orientation(png), 1);
}

TEST_F(ExifFileTest, MissingFilesAndOtherFormatsAreUpright) {
  EXPECT_EQ(ReadExifOrientation(dir_.File("absent.jpg")), 1);
  EXPECT_EQ(ReadExifOrientation(dir_.File("")), 1);  // the folder
  EXPECT_EQ(ExifOrientationFromBytes(nullptr, 100), 1);
  const std::vector<uint8_t> text = {'h', 'e', 'l', 'l', 'o'};
  EXPECT_EQ(ReadExifOrientation(Write("t.txt", text)), 1);
  // A JPEG whose EXIF block claims more bytes than the file holds.
  std::vector<uint8_t> long_claim = Concat({{0xFF, 0xD8}, ExifSegment(true, 6)});
  long_claim[4] = long_claim[5] = 0xFF;
  EXPECT_EQ(ReadExifOrientation(Write("claim.jpg", long_claim)), 1);
}

TEST_F(ExifFileTest, ReadsATagWrittenByExiftool) {
  if (std::system("exiftool -ver > /dev/null 2>&1") != 0) {
    GTEST_SKIP() << "exiftool is not installed (Debian package libimage-exiftool-perl)";
  }
  std::optional<ImageBuffer> image = ImageBuffer::Filled(32, 16, 90);
  const std::string path = dir_.File("camera.jpg");
  ASSERT_TRUE(WriteJpeg(*image, path, 90, testing::Codec()));
  const std::string command = "exiftool -q -overwrite_original -Comment=x -Orientation#=8 '" + path + "'";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(ReadExifOrientation(path), 8);
}

}  // namespace
}  // namespace mosalith
