// Building EXIF blocks and JPEG headers byte by byte for tests: every tag, format, count and length is
// chosen by the test, so hostile values can be written as easily as good ones.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

namespace platform::testing {

inline constexpr uint16_t kTagOrientation = 0x0112;
inline constexpr uint16_t kTagDateTime = 0x0132;
inline constexpr uint16_t kTagExifPointer = 0x8769;
inline constexpr uint16_t kTagDateTimeOriginal = 0x9003;
inline constexpr uint16_t kFormatAscii = 2;
inline constexpr uint16_t kFormatShort = 3;
inline constexpr uint16_t kFormatLong = 4;
inline constexpr uint16_t kFormatRational = 5;
inline constexpr uint16_t kTagXResolution = 0x011A;
inline constexpr uint16_t kTagYResolution = 0x011B;
inline constexpr uint16_t kTagResolutionUnit = 0x0128;

struct TiffEntry {
  uint16_t tag = 0;
  uint16_t format = 0;
  uint32_t count = 0;
  std::vector<uint8_t> value;  // stored inline when 4 bytes or fewer, else after the directory
};

inline TiffEntry ShortEntry(uint16_t tag, uint16_t value) {
  return {tag, kFormatShort, 1, {static_cast<uint8_t>(value & 0xff), static_cast<uint8_t>(value >> 8)}};
}
inline TiffEntry LongEntry(uint16_t tag, uint32_t value) {
  return {tag, kFormatLong, 1,
          {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8), static_cast<uint8_t>(value >> 16),
           static_cast<uint8_t>(value >> 24)}};
}
inline TiffEntry RationalEntry(uint16_t tag, uint32_t numerator, uint32_t denominator) {
  TiffEntry entry{tag, kFormatRational, 1, {}};
  for (const uint32_t v : {numerator, denominator}) {
    for (int i = 0; i < 4; ++i) entry.value.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
  return entry;
}
// An ASCII entry holding `text` and a NUL, or exactly `text` when `terminate` is false.
inline TiffEntry AsciiEntry(uint16_t tag, const std::string& text, bool terminate = true) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  if (terminate) bytes.push_back(0);
  return {tag, kFormatAscii, static_cast<uint32_t>(bytes.size()), bytes};
}

namespace detail {
inline void Put16(std::vector<uint8_t>& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
// Writes one little-endian directory at the end of `tiff` (offsets relative to the TIFF start).
inline void WriteIfd(std::vector<uint8_t>& tiff, std::vector<TiffEntry> entries) {
  std::sort(entries.begin(), entries.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
  const size_t directory_size = 2 + entries.size() * 12 + 4;
  uint32_t data_offset = static_cast<uint32_t>(tiff.size() + directory_size);
  std::vector<uint8_t> data;
  Put16(tiff, static_cast<uint16_t>(entries.size()));
  for (const TiffEntry& e : entries) {
    Put16(tiff, e.tag);
    Put16(tiff, e.format);
    Put32(tiff, e.count);
    if (e.value.size() <= 4) {
      std::vector<uint8_t> inline_value = e.value;
      inline_value.resize(4, 0);
      tiff.insert(tiff.end(), inline_value.begin(), inline_value.end());
    } else {
      Put32(tiff, data_offset + static_cast<uint32_t>(data.size()));
      data.insert(data.end(), e.value.begin(), e.value.end());
      if (data.size() % 2) data.push_back(0);
    }
  }
  Put32(tiff, 0);  // no next directory
  tiff.insert(tiff.end(), data.begin(), data.end());
}
}  // namespace detail

// An APP1 payload: "Exif\0\0", then a little-endian TIFF block with `ifd0` and, when not empty, an EXIF
// directory holding `exif_ifd` (its pointer added to IFD0).
inline std::vector<uint8_t> BuildExif(std::vector<TiffEntry> ifd0, const std::vector<TiffEntry>& exif_ifd = {}) {
  std::vector<uint8_t> tiff = {'I', 'I', 42, 0, 8, 0, 0, 0};
  if (!exif_ifd.empty()) {
    // The EXIF directory follows IFD0 and its values; lay IFD0 out once to learn where that is.
    std::vector<TiffEntry> with_pointer = ifd0;
    with_pointer.push_back(LongEntry(kTagExifPointer, 0));
    std::vector<uint8_t> probe = tiff;
    detail::WriteIfd(probe, with_pointer);
    with_pointer.back() = LongEntry(kTagExifPointer, static_cast<uint32_t>(probe.size()));
    detail::WriteIfd(tiff, with_pointer);
    detail::WriteIfd(tiff, exif_ifd);
  } else {
    detail::WriteIfd(tiff, ifd0);
  }
  std::vector<uint8_t> payload = {'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  return payload;
}

// A marker segment: 0xFF, `marker`, a length covering itself and `payload`, the payload.
inline std::vector<uint8_t> Segment(uint8_t marker, const std::vector<uint8_t>& payload) {
  const size_t length = payload.size() + 2;
  std::vector<uint8_t> out = {0xFF, marker, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)};
  out.insert(out.end(), payload.begin(), payload.end());
  return out;
}

// A baseline start-of-frame segment for a width x height, 3-component picture.
inline std::vector<uint8_t> FrameSegment(int width, int height) {
  return Segment(0xC0, {8, static_cast<uint8_t>(height >> 8), static_cast<uint8_t>(height),
                        static_cast<uint8_t>(width >> 8), static_cast<uint8_t>(width), 3, 1, 0x22, 0, 2, 0x11,
                        1, 3, 0x11, 1});
}

// The header of a JPEG file (no decodable pixels): start of image, `segments` in order, a start of scan
// and an end of image.
inline std::vector<uint8_t> JpegHeaderFile(const std::vector<std::vector<uint8_t>>& segments) {
  std::vector<uint8_t> out = {0xFF, 0xD8};
  for (const auto& s : segments) out.insert(out.end(), s.begin(), s.end());
  const std::vector<uint8_t> scan = Segment(0xDA, {1, 1, 0, 0, 63, 0});
  out.insert(out.end(), scan.begin(), scan.end());
  out.insert(out.end(), {0x00, 0x00, 0xFF, 0xD9});
  return out;
}

// `jpeg` (a complete JPEG file) with an APP1 segment holding `exif` inserted right after its start of image.
inline std::vector<uint8_t> WithExif(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& exif) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  const std::vector<uint8_t> app1 = Segment(0xE1, exif);
  out.insert(out.end(), app1.begin(), app1.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

}  // namespace platform::testing
