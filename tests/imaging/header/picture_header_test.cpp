// Tests for the one picture header reader (JPEG segment walk, PNG chunks, the EXIF directory's
// orientation and resolution), on files built in memory, hostile ones included.
#include "imaging/header/picture_header.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "imaging/header/jpeg_segments.h"

#include "tests/imaging/header/exif_test_files.h"

namespace imaging {
namespace {

using namespace imaging::testing;

std::optional<PictureHeader> Read(const std::vector<uint8_t>& bytes, MetadataStatus* status = nullptr) {
  return ReadPictureHeader(bytes.data(), bytes.size(), status);
}

// The orientation a JPEG with `ifd0` (in the given byte order) before its frame reads as.
int Orientation(const std::vector<TiffEntry>& ifd0, bool big_endian = false) {
  const auto header = Read(JpegHeaderFile({Segment(0xE1, BuildExif(ifd0, {}, big_endian)), FrameSegment(40, 30)}));
  return header ? header->orientation : -1;
}

std::vector<uint8_t> Concat(std::initializer_list<std::vector<uint8_t>> parts) {
  std::vector<uint8_t> out;
  for (const auto& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

// A PNG header: signature and IHDR (no image data), then `chunks`, an IDAT and `after_data`.
std::vector<uint8_t> Png(uint32_t width, uint32_t height, const std::vector<std::vector<uint8_t>>& chunks = {},
                         const std::vector<std::vector<uint8_t>>& after_data = {}) {
  std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n', 0, 0, 0, 13, 'I', 'H', 'D', 'R'};
  for (uint32_t v : {width, height}) {
    for (int shift = 24; shift >= 0; shift -= 8) png.push_back(static_cast<uint8_t>(v >> shift));
  }
  png.insert(png.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
  for (const auto& c : chunks) png.insert(png.end(), c.begin(), c.end());
  const std::vector<uint8_t> data = PngChunk("IDAT", {0, 0});
  png.insert(png.end(), data.begin(), data.end());
  for (const auto& c : after_data) png.insert(png.end(), c.begin(), c.end());
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
  EXPECT_EQ(header->orientation, 8);
}

TEST(PictureHeaderTest, ExifAfterACommentOrAfterTheFrameHeaderStillTurnsThePicture) {
  // A comment first (what image tools write when asked to set one), then the EXIF block.
  const std::vector<uint8_t> exif = BuildExif({ShortEntry(kTagOrientation, 6)});
  auto header = Read(JpegHeaderFile({Segment(0xFE, {'x'}), Segment(0xE1, exif), FrameSegment(4000, 3000)}));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->orientation, 6);
  // The EXIF block after the frame header, big-endian.
  header = Read(JpegHeaderFile({Segment(0xE0, JfifPayload(1, 72, 72)), FrameSegment(4000, 3000),
                                Segment(0xE1, BuildExif({ShortEntry(kTagOrientation, 6)}, {}, true))}));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->orientation, 6);
  EXPECT_EQ(header->width_px, 4000);
}

TEST(PictureHeaderTest, EveryOrientationInBothByteOrders) {
  for (uint16_t value = 1; value <= 8; ++value) {
    EXPECT_EQ(Orientation({ShortEntry(kTagOrientation, value)}, false), value) << "II " << value;
    EXPECT_EQ(Orientation({ShortEntry(kTagOrientation, value)}, true), value) << "MM " << value;
  }
}

TEST(PictureHeaderTest, TheOneOrientationRule) {
  // One integer of any width counts; two values, another type or a value outside 1..8 is upright.
  EXPECT_EQ(Orientation({LongEntry(kTagOrientation, 6)}), 6);
  EXPECT_EQ(Orientation({LongEntry(kTagOrientation, 6)}, true), 6);
  EXPECT_EQ(Orientation({TiffEntry{kTagOrientation, 1, 1, {8}}}), 8);  // BYTE
  TiffEntry two = ShortEntry(kTagOrientation, 6);
  two.count = 2;
  two.value = {6, 0, 1, 0};
  EXPECT_EQ(Orientation({two}), 1);
  EXPECT_EQ(Orientation({two}, true), 1);
  TiffEntry none = ShortEntry(kTagOrientation, 6);
  none.count = 0;
  EXPECT_EQ(Orientation({none}), 1);
  EXPECT_EQ(Orientation({AsciiEntry(kTagOrientation, "6")}), 1);
  EXPECT_EQ(Orientation({ShortEntry(kTagOrientation, 9)}), 1);
  EXPECT_EQ(Orientation({ShortEntry(kTagOrientation, 0)}), 1);
  EXPECT_EQ(Orientation({LongEntry(kTagOrientation, 0x10006)}), 1);
  // The first entry of the tag decides, and the first EXIF block.
  EXPECT_EQ(Orientation({ShortEntry(kTagOrientation, 3), ShortEntry(kTagOrientation, 6)}), 3);
  const auto header = Read(JpegHeaderFile({Segment(0xE1, BuildExif({ShortEntry(kTagOrientation, 6)})),
                                           Segment(0xE1, BuildExif({ShortEntry(kTagOrientation, 8)})),
                                           FrameSegment(5, 5)}));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->orientation, 6);
  // A TIFF block with neither byte order is read as nothing.
  std::vector<uint8_t> exif = BuildExif({ShortEntry(kTagOrientation, 6)});
  exif[6] = exif[7] = 'X';
  EXPECT_EQ(Read(JpegHeaderFile({Segment(0xE1, exif), FrameSegment(5, 5)}))->orientation, 1);
}

TEST(PictureHeaderTest, ResolutionOnlyWithAPhysicalUnitAndExifWinsOverJfif) {
  auto resolution = [](const std::vector<std::vector<uint8_t>>& segments) {
    std::vector<std::vector<uint8_t>> all = segments;
    all.push_back(FrameSegment(10, 10));
    return Read(JpegHeaderFile(all))->resolution;
  };
  auto dpi = resolution({Segment(0xE0, JfifPayload(1, 300, 150))});
  ASSERT_TRUE(dpi);
  EXPECT_DOUBLE_EQ(dpi->x_dpi, 300);
  EXPECT_DOUBLE_EQ(dpi->y_dpi, 150);
  dpi = resolution({Segment(0xE0, JfifPayload(2, 118, 118))});  // dots per centimetre
  ASSERT_TRUE(dpi);
  EXPECT_DOUBLE_EQ(dpi->x_dpi, 118 * 2.54);
  EXPECT_FALSE(resolution({Segment(0xE0, JfifPayload(0, 1, 1))}));    // aspect ratio only
  EXPECT_FALSE(resolution({Segment(0xE0, JfifPayload(1, 0, 300))}));  // a zero density
  EXPECT_FALSE(resolution({}));

  const auto exif_resolution = [](uint16_t unit) {
    return BuildExif({RationalEntry(kTagXResolution, 600, 2), RationalEntry(kTagYResolution, 300, 1),
                      ShortEntry(kTagResolutionUnit, unit)});
  };
  dpi = resolution({Segment(0xE0, JfifPayload(1, 72, 72)), Segment(0xE1, exif_resolution(2))});
  ASSERT_TRUE(dpi);
  EXPECT_DOUBLE_EQ(dpi->x_dpi, 300);
  EXPECT_DOUBLE_EQ(dpi->y_dpi, 300);
  dpi = resolution({Segment(0xE1, exif_resolution(3))});  // per centimetre
  ASSERT_TRUE(dpi);
  EXPECT_DOUBLE_EQ(dpi->y_dpi, 300 * 2.54);
  // EXIF without a stated unit (or with "none") says nothing, and JFIF's stands.
  dpi = resolution({Segment(0xE0, JfifPayload(1, 72, 72)), Segment(0xE1, exif_resolution(1))});
  ASSERT_TRUE(dpi);
  EXPECT_DOUBLE_EQ(dpi->x_dpi, 72);
  EXPECT_FALSE(resolution({Segment(0xE1, BuildExif({RationalEntry(kTagXResolution, 300, 1),
                                                    RationalEntry(kTagYResolution, 300, 1)}))}));
  // A zero denominator, and a rational whose bytes lie outside the block.
  EXPECT_FALSE(resolution({Segment(0xE1, BuildExif({RationalEntry(kTagXResolution, 300, 0),
                                                    RationalEntry(kTagYResolution, 300, 1),
                                                    ShortEntry(kTagResolutionUnit, 2)}))}));
  TiffEntry outside = LongEntry(kTagXResolution, 0xFFFFFFF0u);
  outside.format = kFormatRational;
  EXPECT_FALSE(resolution({Segment(0xE1, BuildExif({outside, RationalEntry(kTagYResolution, 300, 1),
                                                    ShortEntry(kTagResolutionUnit, 2)}))}));
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
  auto header = Read(Png(640, 480));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->format, PictureFormat::kPng);
  EXPECT_EQ(header->width_px, 640);
  EXPECT_EQ(header->height_px, 480);
  EXPECT_TRUE(header->exif.empty());
  EXPECT_EQ(header->orientation, 1);
  EXPECT_FALSE(header->resolution);

  // eXIf holds the TIFF block itself; the reader gives it the APP1 signature. pHYs in pixels per metre.
  const std::vector<uint8_t> exif = BuildExif({ShortEntry(kTagOrientation, 6)}, {}, true);
  const std::vector<uint8_t> tiff(exif.begin() + 6, exif.end());
  header = Read(Png(640, 480, {PngChunk("tEXt", {'a', 0, 'b'}), PngChunk("pHYs", PhysPayload(11811, 5906, 1)),
                               PngChunk("eXIf", tiff)}));
  ASSERT_TRUE(header);
  EXPECT_EQ(header->orientation, 6);
  EXPECT_EQ(header->exif, exif);
  ASSERT_TRUE(header->resolution);
  EXPECT_NEAR(header->resolution->x_dpi, 300, 0.01);
  EXPECT_NEAR(header->resolution->y_dpi, 150, 0.02);

  // pHYs without a unit says nothing; chunks after the image data are not looked at.
  header = Read(Png(640, 480, {PngChunk("pHYs", PhysPayload(2, 1, 0))}, {PngChunk("eXIf", tiff)}));
  ASSERT_TRUE(header);
  EXPECT_FALSE(header->resolution);
  EXPECT_EQ(header->orientation, 1);
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

TEST(PictureHeaderTest, HostileExifDirectoriesStayInsideTheBlock) {
  const std::vector<uint8_t> good = BuildExif({ShortEntry(kTagOrientation, 6)});
  const size_t tiff = 6;
  auto orientation_of = [](const std::vector<uint8_t>& exif) {
    return Read(JpegHeaderFile({Segment(0xE1, exif), FrameSegment(9, 9)}))->orientation;
  };
  std::vector<uint8_t> far_directory = good;
  far_directory[tiff + 4] = 0xF0;  // first directory at 0xFFFFFFF0
  far_directory[tiff + 5] = far_directory[tiff + 6] = far_directory[tiff + 7] = 0xFF;
  EXPECT_EQ(orientation_of(far_directory), 1);
  std::vector<uint8_t> many_entries = good;
  many_entries[tiff + 8] = many_entries[tiff + 9] = 0xFF;  // 65535 entries claimed, one held
  EXPECT_EQ(orientation_of(many_entries), 6);
  // Every cut of the block short of the whole entry is upright; the size is still read.
  const size_t entry_end = tiff + 8 + 2 + 12;
  for (size_t size = 0; size < entry_end; ++size) {
    const std::vector<uint8_t> cut(good.begin(), good.begin() + static_cast<std::ptrdiff_t>(size));
    const auto header = Read(JpegHeaderFile({Segment(0xE1, cut), FrameSegment(9, 9)}));
    ASSERT_TRUE(header) << size;
    EXPECT_EQ(header->orientation, 1) << "cut at " << size;
  }
  EXPECT_EQ(orientation_of(std::vector<uint8_t>(good.begin(), good.begin() + entry_end)), 6);
}

TEST(PictureHeaderTest, TheWholeFileWalkFindsTablesBetweenScans) {
  // A scan header, entropy-coded bytes with a stuffed zero and a restart marker, then a table and a
  // second scan: the header walk stops at the first scan, the whole-file walk sees everything.
  const std::vector<uint8_t> file = Concat({{0xFF, 0xD8}, FrameSegment(8, 8), Segment(0xDA, {1, 1, 0, 0, 63, 0}),
                                            {0x12, 0xFF, 0x00, 0x34, 0xFF, 0xD0, 0x56}, Segment(0xC4, {0x10}),
                                            Segment(0xDA, {1, 1, 0, 0, 63, 0}), {0x78, 0xFF, 0xD9}});
  std::vector<uint8_t> markers;
  const auto record = [&markers](const JpegSegment& segment) {
    markers.push_back(segment.marker);
    return true;
  };
  EXPECT_EQ(WalkJpegSegments(ReadFromMemory(file.data(), file.size()), JpegWalk::kHeader, record),
            JpegWalkEnd::kStartOfScan);
  EXPECT_EQ(markers, (std::vector<uint8_t>{0xC0}));
  markers.clear();
  EXPECT_EQ(WalkJpegSegments(ReadFromMemory(file.data(), file.size()), JpegWalk::kWholeFile, record),
            JpegWalkEnd::kEndOfImage);
  EXPECT_EQ(markers, (std::vector<uint8_t>{0xC0, 0xDA, 0xC4, 0xDA}));
  // A length below 2 is reported as such; a visitor can stop the walk.
  const std::vector<uint8_t> bad = {0xFF, 0xD8, 0xFF, 0xC4, 0x00, 0x01};
  EXPECT_EQ(WalkJpegSegments(ReadFromMemory(bad.data(), bad.size()), JpegWalk::kWholeFile, record),
            JpegWalkEnd::kBadLength);
  EXPECT_EQ(WalkJpegSegments(ReadFromMemory(file.data(), file.size()), JpegWalk::kWholeFile,
                             [](const JpegSegment&) { return false; }),
            JpegWalkEnd::kStopped);
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
}  // namespace imaging
