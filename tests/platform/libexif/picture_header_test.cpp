// Tests for the JPEG segment walk and PNG header read, on files built in memory, hostile ones included.
#include "platform/libexif/picture_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "tests/platform/libexif/exif_test_files.h"

namespace platform {
namespace {

using namespace platform::testing;

ReadAtFunction FromMemory(const std::vector<uint8_t>& bytes) {
  return [&bytes](uint64_t offset, size_t length, uint8_t* out) -> int64_t {
    if (offset >= bytes.size()) return 0;
    const size_t take = std::min<size_t>(length, bytes.size() - offset);
    std::memcpy(out, bytes.data() + offset, take);
    return static_cast<int64_t>(take);
  };
}

std::optional<PictureHeader> Read(const std::vector<uint8_t>& bytes, MetadataStatus* status = nullptr) {
  return ReadPictureHeader(FromMemory(bytes), status);
}

std::vector<uint8_t> Png(uint32_t width, uint32_t height) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
  }
  png.insert(png.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
  return png;
}

TEST(PictureHeaderTest, JpegGivesFrameSizeAndTheExifSegment) {
  const std::vector<uint8_t> exif = BuildExif({ShortEntry(kTagOrientation, 6)});
  const auto header = Read(JpegHeaderFile({Segment(0xE1, exif), FrameSegment(4000, 3000)}));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->format, PictureFormat::kJpeg);
  EXPECT_EQ(header->width_px, 4000);
  EXPECT_EQ(header->height_px, 3000);
  EXPECT_EQ(header->exif, exif);
}

TEST(PictureHeaderTest, ExifIsFoundAfterAnXmpSegmentAndBeyondTheFirst64KiB) {
  const std::vector<uint8_t> exif = BuildExif({ShortEntry(kTagOrientation, 8)});
  std::vector<uint8_t> xmp = {'h', 't', 't', 'p', ':', '/', '/', 'n', 's', 0};
  xmp.resize(65000, ' ');
  const std::vector<uint8_t> comment(65000, 'c');
  const auto header = Read(JpegHeaderFile(
      {Segment(0xE1, xmp), Segment(0xFE, comment), Segment(0xE2, comment), FrameSegment(10, 20), Segment(0xE1, exif)}));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->exif, exif);
  EXPECT_EQ(header->width_px, 10);
}

TEST(PictureHeaderTest, FillBytesAndRestartMarkersAreSkipped) {
  std::vector<uint8_t> file = {0xFF, 0xD8, 0xFF, 0xFF, 0xFF, 0xD0};
  const std::vector<uint8_t> frame = FrameSegment(7, 9);
  file.insert(file.end(), frame.begin(), frame.end());
  const auto header = Read(file);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->width_px, 7);
  EXPECT_EQ(header->height_px, 9);
}

TEST(PictureHeaderTest, Png) {
  const auto header = Read(Png(640, 480));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->format, PictureFormat::kPng);
  EXPECT_EQ(header->width_px, 640);
  EXPECT_EQ(header->height_px, 480);
  EXPECT_TRUE(header->exif.empty());
}

TEST(PictureHeaderTest, HostileAndDamagedFilesFailCleanlyOrKeepWhatWasRead) {
  MetadataStatus status = MetadataStatus::kOk;
  // Not a picture at all, empty, or a signature alone.
  EXPECT_FALSE(Read({}, &status));
  EXPECT_EQ(status, MetadataStatus::kUnknownFormat);
  EXPECT_FALSE(Read({'G', 'I', 'F', '8', '9', 'a'}));
  EXPECT_FALSE(Read({0xFF, 0xD8, 0xFF}));
  EXPECT_FALSE(Read({0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'}));
  // PNG sides of 0 or past int32, and a first chunk that is not IHDR.
  EXPECT_FALSE(Read(Png(0, 10)));
  EXPECT_FALSE(Read(Png(0x80000000u, 10)));
  std::vector<uint8_t> not_ihdr = Png(10, 10);
  not_ihdr[12] = 'X';
  EXPECT_FALSE(Read(not_ihdr));

  // An APP1 whose length runs past the end of the file, after the frame: the size still counts.
  std::vector<uint8_t> truncated = {0xFF, 0xD8};
  const std::vector<uint8_t> frame = FrameSegment(300, 200);
  truncated.insert(truncated.end(), frame.begin(), frame.end());
  std::vector<uint8_t> app1 = Segment(0xE1, BuildExif({ShortEntry(kTagOrientation, 6)}));
  app1.resize(app1.size() / 2);
  truncated.insert(truncated.end(), app1.begin(), app1.end());
  auto header = Read(truncated);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->width_px, 300);
  EXPECT_TRUE(header->exif.empty());

  // The same before the frame: no size can be known.
  std::vector<uint8_t> before = {0xFF, 0xD8};
  before.insert(before.end(), app1.begin(), app1.end());
  EXPECT_FALSE(Read(before, &status));
  EXPECT_EQ(status, MetadataStatus::kUnknownFormat);

  // Lengths below 2, a frame header too short for its size, a zero height, a scan before any frame.
  EXPECT_FALSE(Read({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x01, 0xFF, 0xC0}));
  EXPECT_FALSE(Read(JpegHeaderFile({Segment(0xC0, {8, 0, 10})})));
  EXPECT_FALSE(Read(JpegHeaderFile({FrameSegment(10, 0)})));
  std::vector<uint8_t> scan_first = {0xFF, 0xD8, 0xFF, 0xDA, 0, 2};
  const std::vector<uint8_t> late_frame = FrameSegment(10, 10);
  scan_first.insert(scan_first.end(), late_frame.begin(), late_frame.end());
  EXPECT_FALSE(Read(scan_first));

  // Only 0xFF bytes after the start of image: the walk ends at the end of the file.
  std::vector<uint8_t> all_fill(100000, 0xFF);
  all_fill[1] = 0xD8;
  EXPECT_FALSE(Read(all_fill));

  // A read error is reported as such.
  const ReadAtFunction failing = [](uint64_t, size_t, uint8_t*) -> int64_t { return -1; };
  EXPECT_FALSE(ReadPictureHeader(failing, &status));
  EXPECT_EQ(status, MetadataStatus::kUnreadable);
}

// A JFIF APP0 payload with `units` and the same density across and down.
std::vector<uint8_t> Jfif(uint8_t units, uint16_t density) {
  const auto hi = static_cast<uint8_t>(density >> 8), lo = static_cast<uint8_t>(density);
  return {'J', 'F', 'I', 'F', 0, 1, 1, units, hi, lo, hi, lo, 0, 0};
}

// A PNG whose IHDR is followed by `chunks` (type and data each), then IDAT and IEND.
std::vector<uint8_t> PngWith(const std::vector<std::pair<std::string, std::vector<uint8_t>>>& chunks) {
  std::vector<uint8_t> png = Png(100, 50);
  auto add = [&png](const std::string& type, const std::vector<uint8_t>& data) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(data.size() >> shift));
    png.insert(png.end(), type.begin(), type.end());
    png.insert(png.end(), data.begin(), data.end());
    png.insert(png.end(), {0, 0, 0, 0});  // CRC, not checked
  };
  for (const auto& [type, data] : chunks) add(type, data);
  add("IDAT", {1, 2, 3});
  add("pHYs", {0, 0, 0x2E, 0x23, 0, 0, 0x2E, 0x23, 1});  // after the image data: not read
  add("IEND", {});
  return png;
}

TEST(PictureHeaderTest, ResolutionComesFromJfifUnitsExifOverJfifAndPngPhys) {
  // JFIF: dots per inch, dots per centimetre, and an aspect ratio without units (no resolution).
  auto header = Read(JpegHeaderFile({Segment(0xE0, Jfif(1, 300)), FrameSegment(10, 10)}));
  ASSERT_TRUE(header && header->resolution);
  EXPECT_DOUBLE_EQ(header->resolution->x_dpi, 300);
  header = Read(JpegHeaderFile({Segment(0xE0, Jfif(2, 100)), FrameSegment(10, 10)}));
  ASSERT_TRUE(header && header->resolution);
  EXPECT_DOUBLE_EQ(header->resolution->y_dpi, 254);
  EXPECT_FALSE(Read(JpegHeaderFile({Segment(0xE0, Jfif(0, 1)), FrameSegment(10, 10)}))->resolution);
  EXPECT_FALSE(Read(JpegHeaderFile({Segment(0xE0, Jfif(1, 0)), FrameSegment(10, 10)}))->resolution);

  // EXIF with its unit wins over JFIF (here 72 per centimetre = 182.88 dpi across, 150 dpi down).
  const std::vector<uint8_t> exif = BuildExif({RationalEntry(kTagXResolution, 72, 1),
                                               RationalEntry(kTagYResolution, 1181, 20),
                                               ShortEntry(kTagResolutionUnit, 3)});
  header = Read(JpegHeaderFile({Segment(0xE0, Jfif(1, 300)), Segment(0xE1, exif), FrameSegment(10, 10)}));
  ASSERT_TRUE(header && header->resolution);
  EXPECT_DOUBLE_EQ(header->resolution->x_dpi, 72 * 2.54);
  EXPECT_NEAR(header->resolution->y_dpi, 150, 0.05);
  // EXIF without a stored unit, with unit 1 (none) or with a zero denominator states nothing: JFIF counts.
  for (const std::vector<TiffEntry>& entries :
       {std::vector<TiffEntry>{RationalEntry(kTagXResolution, 72, 1), RationalEntry(kTagYResolution, 72, 1)},
        std::vector<TiffEntry>{RationalEntry(kTagXResolution, 72, 1), RationalEntry(kTagYResolution, 72, 1),
                               ShortEntry(kTagResolutionUnit, 1)},
        std::vector<TiffEntry>{RationalEntry(kTagXResolution, 72, 0), RationalEntry(kTagYResolution, 72, 1),
                               ShortEntry(kTagResolutionUnit, 2)}}) {
    header = Read(JpegHeaderFile({Segment(0xE0, Jfif(1, 300)), Segment(0xE1, BuildExif(entries)), FrameSegment(9, 9)}));
    ASSERT_TRUE(header && header->resolution);
    EXPECT_DOUBLE_EQ(header->resolution->x_dpi, 300);
  }
  header = Read(JpegHeaderFile({Segment(0xE1, BuildExif({ShortEntry(kTagOrientation, 6)})), FrameSegment(9, 9)}));
  EXPECT_FALSE(header->resolution);  // libexif's mandatory 72 dpi is not in the file

  // PNG: pHYs in pixels per metre (11811 = 300 dpi), before the image data only; unit 0 is an aspect.
  header = Read(PngWith({{"tEXt", {'a', 0, 'b'}}, {"pHYs", {0, 0, 0x2E, 0x23, 0, 0, 0x17, 0x11, 1}}}));
  ASSERT_TRUE(header && header->resolution);
  EXPECT_NEAR(header->resolution->x_dpi, 300, 0.01);
  EXPECT_NEAR(header->resolution->y_dpi, 150, 0.05);
  EXPECT_FALSE(Read(PngWith({{"pHYs", {0, 0, 0x2E, 0x23, 0, 0, 0x2E, 0x23, 0}}}))->resolution);
  EXPECT_FALSE(Read(PngWith({{"pHYs", {0, 0, 0x2E, 0x23, 0, 0, 0x2E, 0x23}}}))->resolution);
  EXPECT_FALSE(Read(PngWith({}))->resolution);
  // A chunk length pointing far past the end of the file ends the walk with the size still known.
  std::vector<uint8_t> hostile = Png(100, 50);
  hostile.insert(hostile.end(), {0x7F, 0xFF, 0xFF, 0xFF, 't', 'E', 'X', 't'});
  header = Read(hostile);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->width_px, 100);
  EXPECT_FALSE(header->resolution);
}

TEST(PictureHeaderTest, ExifSignatureMustOpenTheApp1Payload) {
  const std::vector<uint8_t> exif = BuildExif({ShortEntry(kTagOrientation, 6)});
  std::vector<uint8_t> shifted = {'X'};
  shifted.insert(shifted.end(), exif.begin(), exif.end());
  const auto header = Read(JpegHeaderFile({Segment(0xE1, shifted), Segment(0xE1, {'E', 'x', 'i'}), FrameSegment(5, 5)}));
  ASSERT_TRUE(header);
  EXPECT_TRUE(header->exif.empty());
}

}  // namespace
}  // namespace platform
