// The JPEG header walk and the PNG chunk walk.
#include "imaging/header/picture_header.h"

#include <cstring>
#include <limits>

#include "imaging/header/jpeg_segments.h"

namespace imaging {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
constexpr uint8_t kJfifSignature[5] = {'J', 'F', 'I', 'F', 0};
constexpr double kMetresPerInch = 0.0254;
constexpr double kCentimetresPerInch = 2.54;

enum class ReadResult { kOk, kShort, kError };

ReadResult ReadExactly(const ReadAtFunction& read, uint64_t offset, size_t length, uint8_t* out) {
  const int64_t got = read(offset, length, out);
  if (got < 0) return ReadResult::kError;
  return static_cast<size_t>(got) == length ? ReadResult::kOk : ReadResult::kShort;
}

uint32_t BigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}
int BigEndian16(const uint8_t* p) { return p[0] << 8 | p[1]; }

std::optional<PictureHeader> Fail(MetadataStatus why, MetadataStatus* status) {
  if (status) *status = why;
  return std::nullopt;
}

std::optional<PictureHeader> Succeed(PictureHeader header, MetadataStatus* status) {
  if (!header.exif.empty()) {
    const ExifDirectoryFacts facts = ReadExifBlock(header.exif.data(), header.exif.size());
    header.orientation = facts.orientation;
    if (facts.resolution) header.resolution = facts.resolution;  // EXIF wins over JFIF
  }
  if (status) *status = MetadataStatus::kOk;
  return header;
}

// A density pair in dots per unit, as dots per inch (`units_per_inch` units make an inch); nothing for a
// zero side.
std::optional<PictureResolution> Density(uint32_t x, uint32_t y, double units_per_inch) {
  if (x == 0 || y == 0) return std::nullopt;
  return PictureResolution{x * units_per_inch, y * units_per_inch};
}

std::optional<PictureHeader> ReadPngHeader(const ReadAtFunction& read, MetadataStatus* status) {
  // Signature, then the first chunk: length, "IHDR", width, height.
  uint8_t bytes[24];
  const ReadResult result = ReadExactly(read, 0, sizeof bytes, bytes);
  if (result == ReadResult::kError) return Fail(MetadataStatus::kUnreadable, status);
  const uint32_t ihdr_length = BigEndian32(bytes + 8);
  if (result == ReadResult::kShort || std::memcmp(bytes + 12, "IHDR", 4) != 0 || ihdr_length < 8 ||
      ihdr_length > 0x7FFFFFFFu) {
    return Fail(MetadataStatus::kUnknownFormat, status);
  }
  const uint32_t width = BigEndian32(bytes + 16);
  const uint32_t height = BigEndian32(bytes + 20);
  constexpr uint32_t kMaxSide = static_cast<uint32_t>(std::numeric_limits<int32_t>::max());
  if (width == 0 || height == 0 || width > kMaxSide || height > kMaxSide) {
    return Fail(MetadataStatus::kUnknownFormat, status);
  }
  PictureHeader header;
  header.format = PictureFormat::kPng;
  header.width_px = static_cast<int>(width);
  header.height_px = static_cast<int>(height);

  // The chunks after IHDR up to the image data: each is a length, a type, the data and a CRC. A chunk
  // that cannot be read ends the walk with what was found.
  uint64_t at = 8 + 12 + uint64_t{ihdr_length};
  bool have_density = false;
  for (;;) {
    uint8_t chunk[8];
    if (ReadExactly(read, at, sizeof chunk, chunk) != ReadResult::kOk) break;
    const uint32_t length = BigEndian32(chunk);
    if (length > 0x7FFFFFFFu) break;
    const uint64_t data = at + 8;
    if (std::memcmp(chunk + 4, "IDAT", 4) == 0 || std::memcmp(chunk + 4, "IEND", 4) == 0) break;
    if (std::memcmp(chunk + 4, "pHYs", 4) == 0 && !have_density && length == 9) {
      uint8_t phys[9];
      if (ReadExactly(read, data, sizeof phys, phys) != ReadResult::kOk) break;
      have_density = true;
      // Unit 1 is the metre; unit 0 gives only the pixels' aspect ratio.
      if (phys[8] == 1) header.resolution = Density(BigEndian32(phys), BigEndian32(phys + 4), kMetresPerInch);
    } else if (std::memcmp(chunk + 4, "eXIf", 4) == 0 && header.exif.empty() && length <= kMaxPngExifBytes) {
      std::vector<uint8_t> exif(sizeof kExifSignature + length);
      std::memcpy(exif.data(), kExifSignature, sizeof kExifSignature);
      if (ReadExactly(read, data, length, exif.data() + sizeof kExifSignature) != ReadResult::kOk) break;
      header.exif = std::move(exif);
    }
    at = data + length + 4;
  }
  return Succeed(std::move(header), status);
}

std::optional<PictureHeader> ReadJpegHeader(const ReadAtFunction& read, MetadataStatus* status) {
  PictureHeader header;
  bool have_frame = false;
  bool have_jfif = false;
  bool read_error = false;
  const auto visit = [&](const JpegSegment& segment) {
    const auto take = [&](size_t length, uint8_t* out) {
      const ReadResult result = ReadExactly(read, segment.payload_offset, length, out);
      read_error = result == ReadResult::kError;
      return result == ReadResult::kOk;
    };
    if (IsStartOfFrame(segment.marker) && !have_frame) {
      // Precision, height, width: a frame header shorter than that is damage, and ends the walk.
      uint8_t frame[5];
      if (segment.payload_length < sizeof frame || !take(sizeof frame, frame)) return false;
      header.height_px = BigEndian16(frame + 1);
      header.width_px = BigEndian16(frame + 3);
      header.progressive = segment.marker == 0xC2 || segment.marker == 0xC6 || segment.marker == 0xCA ||
                           segment.marker == 0xCE;
      have_frame = true;
    } else if (segment.marker == 0xE0 && !have_jfif && segment.payload_length >= 12) {
      // "JFIF\0", version (2), units, x density (2), y density (2).
      uint8_t jfif[12];
      if (!take(sizeof jfif, jfif)) return !read_error;
      if (std::memcmp(jfif, kJfifSignature, sizeof kJfifSignature) == 0) {
        have_jfif = true;
        const uint32_t x = static_cast<uint32_t>(BigEndian16(jfif + 8));
        const uint32_t y = static_cast<uint32_t>(BigEndian16(jfif + 10));
        if (jfif[7] == 1) header.resolution = Density(x, y, 1.0);
        if (jfif[7] == 2) header.resolution = Density(x, y, kCentimetresPerInch);
      }
    } else if (segment.marker == 0xE1 && header.exif.empty() && segment.payload_length >= sizeof kExifSignature) {
      uint8_t signature[sizeof kExifSignature];
      if (!take(sizeof signature, signature)) return !read_error;
      if (std::memcmp(signature, kExifSignature, sizeof signature) == 0) {
        // A segment that runs past the end of the file is not used: its EXIF data would be cut short.
        std::vector<uint8_t> exif(segment.payload_length);
        if (!take(exif.size(), exif.data())) return !read_error;
        header.exif = std::move(exif);
      }
    }
    return true;
  };
  const JpegWalkEnd end = WalkJpegSegments(read, JpegWalk::kHeader, visit);
  read_error = read_error || end == JpegWalkEnd::kReadError;
  // A frame size of 0 (height given later in the data) cannot be reported.
  if (!have_frame || header.width_px == 0 || header.height_px == 0) {
    return Fail(read_error ? MetadataStatus::kUnreadable : MetadataStatus::kUnknownFormat, status);
  }
  return Succeed(std::move(header), status);
}

}  // namespace

std::optional<PictureHeader> ReadPictureHeader(const ReadAtFunction& read, MetadataStatus* status) {
  uint8_t start[8];
  const int64_t got = read(0, sizeof start, start);
  if (got < 0) return Fail(MetadataStatus::kUnreadable, status);
  if (got >= 3 && start[0] == 0xFF && start[1] == 0xD8 && start[2] == 0xFF) return ReadJpegHeader(read, status);
  if (got == sizeof start && std::memcmp(start, kPngSignature, sizeof start) == 0) return ReadPngHeader(read, status);
  return Fail(MetadataStatus::kUnknownFormat, status);
}

std::optional<PictureHeader> ReadPictureHeader(const uint8_t* data, size_t size, MetadataStatus* status) {
  return ReadPictureHeader(ReadFromMemory(data, size), status);
}

}  // namespace imaging
