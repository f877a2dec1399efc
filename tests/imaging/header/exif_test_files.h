// Building EXIF blocks and JPEG headers byte by byte for tests: every tag, format, count and length is
// chosen by the test, so hostile values can be written as easily as good ones.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string>
#include <vector>

namespace imaging::testing {

inline constexpr uint16_t kTagOrientation = 0x0112;
inline constexpr uint16_t kTagXResolution = 0x011A;
inline constexpr uint16_t kTagYResolution = 0x011B;
inline constexpr uint16_t kTagResolutionUnit = 0x0128;
inline constexpr uint16_t kTagDateTime = 0x0132;
inline constexpr uint16_t kTagExifPointer = 0x8769;
inline constexpr uint16_t kTagDateTimeOriginal = 0x9003;
inline constexpr uint16_t kFormatAscii = 2;
inline constexpr uint16_t kFormatShort = 3;
inline constexpr uint16_t kFormatLong = 4;
inline constexpr uint16_t kFormatRational = 5;

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
  TiffEntry entry = LongEntry(tag, numerator);
  const TiffEntry low = LongEntry(tag, denominator);
  entry.format = kFormatRational;
  entry.value.insert(entry.value.end(), low.value.begin(), low.value.end());
  return entry;
}
// An ASCII entry holding `text` and a NUL, or exactly `text` when `terminate` is false.
inline TiffEntry AsciiEntry(uint16_t tag, const std::string& text, bool terminate = true) {
  std::vector<uint8_t> bytes(text.begin(), text.end());
  if (terminate) bytes.push_back(0);
  return {tag, kFormatAscii, static_cast<uint32_t>(bytes.size()), bytes};
}

namespace detail {
inline void Put16(std::vector<uint8_t>& out, uint16_t v, bool big_endian) {
  if (big_endian) out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
  if (!big_endian) out.push_back(static_cast<uint8_t>(v >> 8));
}
inline void Put32(std::vector<uint8_t>& out, uint32_t v, bool big_endian) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * (big_endian ? 3 - i : i))));
}
// An entry's value bytes (written little-endian by the makers above) in the block's byte order.
inline std::vector<uint8_t> InOrder(const TiffEntry& e, bool big_endian) {
  size_t unit = e.format == kFormatShort ? 2 : (e.format == kFormatLong || e.format == kFormatRational) ? 4 : 1;
  std::vector<uint8_t> v = e.value;
  if (big_endian && unit > 1) {
    for (size_t i = 0; i + unit <= v.size(); i += unit) std::reverse(v.begin() + i, v.begin() + i + unit);
  }
  return v;
}
// Writes one directory at the end of `tiff` (offsets relative to the TIFF start).
inline void WriteIfd(std::vector<uint8_t>& tiff, std::vector<TiffEntry> entries, bool big_endian) {
  std::stable_sort(entries.begin(), entries.end(), [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
  const size_t directory_size = 2 + entries.size() * 12 + 4;
  uint32_t data_offset = static_cast<uint32_t>(tiff.size() + directory_size);
  std::vector<uint8_t> data;
  Put16(tiff, static_cast<uint16_t>(entries.size()), big_endian);
  for (const TiffEntry& e : entries) {
    Put16(tiff, e.tag, big_endian);
    Put16(tiff, e.format, big_endian);
    Put32(tiff, e.count, big_endian);
    const std::vector<uint8_t> value = InOrder(e, big_endian);
    if (value.size() <= 4) {
      std::vector<uint8_t> inline_value = value;
      inline_value.resize(4, 0);
      tiff.insert(tiff.end(), inline_value.begin(), inline_value.end());
    } else {
      Put32(tiff, data_offset + static_cast<uint32_t>(data.size()), big_endian);
      data.insert(data.end(), value.begin(), value.end());
      if (data.size() % 2) data.push_back(0);
    }
  }
  Put32(tiff, 0, big_endian);  // no next directory
  tiff.insert(tiff.end(), data.begin(), data.end());
}
}  // namespace detail

// An APP1 payload: "Exif\0\0", then a TIFF block (little-endian "II" unless `big_endian`, "MM") with
// `ifd0` and, when not empty, an EXIF directory holding `exif_ifd` (its pointer added to IFD0). Entries
// are sorted by tag; repeated tags keep the order given.
inline std::vector<uint8_t> BuildExif(std::vector<TiffEntry> ifd0, const std::vector<TiffEntry>& exif_ifd = {},
                                      bool big_endian = false) {
  std::vector<uint8_t> tiff = big_endian ? std::vector<uint8_t>{'M', 'M', 0, 42, 0, 0, 0, 8}
                                         : std::vector<uint8_t>{'I', 'I', 42, 0, 8, 0, 0, 0};
  if (!exif_ifd.empty()) {
    // The EXIF directory follows IFD0 and its values; lay IFD0 out once to learn where that is.
    std::vector<TiffEntry> with_pointer = ifd0;
    with_pointer.push_back(LongEntry(kTagExifPointer, 0));
    std::vector<uint8_t> probe = tiff;
    detail::WriteIfd(probe, with_pointer, big_endian);
    with_pointer.back() = LongEntry(kTagExifPointer, static_cast<uint32_t>(probe.size()));
    detail::WriteIfd(tiff, with_pointer, big_endian);
    detail::WriteIfd(tiff, exif_ifd, big_endian);
  } else {
    detail::WriteIfd(tiff, ifd0, big_endian);
  }
  // Sized once and copied into: GCC 12 at -O3 warns (wrongly) about inserting into a short vector.
  static constexpr uint8_t kExifHeader[] = {'E', 'x', 'i', 'f', 0, 0};
  std::vector<uint8_t> payload(sizeof kExifHeader + tiff.size());
  std::copy(std::begin(kExifHeader), std::end(kExifHeader), payload.begin());
  std::copy(tiff.begin(), tiff.end(), payload.begin() + sizeof kExifHeader);
  return payload;
}

// A JFIF APP0 payload with `units` (0 aspect only, 1 per inch, 2 per centimetre) and the densities.
inline std::vector<uint8_t> JfifPayload(uint8_t units, uint16_t x_density, uint16_t y_density) {
  return {'J', 'F', 'I', 'F', 0, 1, 2, units, static_cast<uint8_t>(x_density >> 8), static_cast<uint8_t>(x_density),
          static_cast<uint8_t>(y_density >> 8), static_cast<uint8_t>(y_density), 0, 0};
}

// A PNG chunk: length, type, data and its CRC, so that real decoders accept it.
inline std::vector<uint8_t> PngChunk(const char (&type)[5], const std::vector<uint8_t>& data) {
  std::vector<uint8_t> out;
  const uint32_t length = static_cast<uint32_t>(data.size());
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(length >> shift));
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), data.begin(), data.end());
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 4; i < out.size(); ++i) {
    crc ^= out[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc ^= 0xFFFFFFFFu;
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(crc >> shift));
  return out;
}

// A big-endian 32-bit value's bytes.
inline std::vector<uint8_t> Be32(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v)};
}

// A pHYs chunk's data: pixels per unit along x and y, then the unit (1 = metre).
inline std::vector<uint8_t> PhysPayload(uint32_t x, uint32_t y, uint8_t unit) {
  std::vector<uint8_t> out = Be32(x);
  const std::vector<uint8_t> second = Be32(y);
  out.insert(out.end(), second.begin(), second.end());
  out.push_back(unit);
  return out;
}

// `png` (a complete PNG file, IHDR first) with `chunk` (whole, from PngChunk) inserted right after IHDR,
// or right before IEND when `at_end`.
inline std::vector<uint8_t> WithPngChunk(const std::vector<uint8_t>& png, const std::vector<uint8_t>& chunk,
                                         bool at_end = false) {
  const size_t at = at_end ? png.size() - 12 : 8 + 12 + 13;
  std::vector<uint8_t> out(png.begin(), png.begin() + static_cast<std::ptrdiff_t>(at));
  out.insert(out.end(), chunk.begin(), chunk.end());
  out.insert(out.end(), png.begin() + static_cast<std::ptrdiff_t>(at), png.end());
  return out;
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

}  // namespace imaging::testing
