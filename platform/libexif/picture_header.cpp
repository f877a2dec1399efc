// The JPEG segment walk and the PNG IHDR read.
#include "platform/libexif/picture_header.h"

#include <array>
#include <cstring>
#include <limits>

namespace platform {
namespace {

constexpr uint8_t kPngSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
constexpr uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};

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

// Start-of-frame markers carry the frame size: C0-C3, C5-C7, C9-CB, CD-CF (C4 is DHT, C8 is reserved,
// CC is DAC).
bool IsStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}
// Markers that stand alone, without a length: TEM and the restart markers.
bool IsStandalone(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7); }

std::optional<PictureHeader> Fail(MetadataStatus why, MetadataStatus* status) {
  if (status) *status = why;
  return std::nullopt;
}

std::optional<PictureHeader> ReadPngHeader(const ReadAtFunction& read, MetadataStatus* status) {
  // Signature, then the first chunk: length, "IHDR", width, height.
  uint8_t bytes[24];
  const ReadResult result = ReadExactly(read, 0, sizeof bytes, bytes);
  if (result == ReadResult::kError) return Fail(MetadataStatus::kUnreadable, status);
  if (result == ReadResult::kShort || std::memcmp(bytes + 12, "IHDR", 4) != 0 || BigEndian32(bytes + 8) < 8) {
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
  if (status) *status = MetadataStatus::kOk;
  return header;
}

std::optional<PictureHeader> ReadJpegHeader(const ReadAtFunction& read, MetadataStatus* status) {
  PictureHeader header;
  bool have_frame = false;
  bool read_error = false;
  uint64_t offset = 2;  // after the start-of-image marker
  for (;;) {
    // A marker: 0xFF, any number of 0xFF fill bytes, then the marker code.
    uint8_t byte = 0;
    ReadResult result = ReadExactly(read, offset, 1, &byte);
    if (result != ReadResult::kOk || byte != 0xFF) {
      read_error = result == ReadResult::kError;
      break;
    }
    do {
      ++offset;
      result = ReadExactly(read, offset, 1, &byte);
    } while (result == ReadResult::kOk && byte == 0xFF);
    if (result != ReadResult::kOk) {
      read_error = result == ReadResult::kError;
      break;
    }
    const uint8_t marker = byte;
    ++offset;
    if (IsStandalone(marker)) continue;
    if (marker == 0xD9 || marker == 0xDA || marker == 0x00) break;  // end of image, start of scan, or garbage
    uint8_t length_bytes[2];
    result = ReadExactly(read, offset, 2, length_bytes);
    if (result != ReadResult::kOk) {
      read_error = result == ReadResult::kError;
      break;
    }
    const int length = BigEndian16(length_bytes);
    if (length < 2) break;
    const uint64_t payload_offset = offset + 2;
    const size_t payload_length = static_cast<size_t>(length - 2);
    if (IsStartOfFrame(marker) && !have_frame) {
      // Precision, height, width: a frame header shorter than that is damage, and ends the walk.
      uint8_t frame[5];
      if (payload_length < sizeof frame) break;
      result = ReadExactly(read, payload_offset, sizeof frame, frame);
      if (result != ReadResult::kOk) {
        read_error = result == ReadResult::kError;
        break;
      }
      header.height_px = BigEndian16(frame + 1);
      header.width_px = BigEndian16(frame + 3);
      header.progressive = marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
      have_frame = true;
    } else if (marker == 0xE1 && header.exif.empty() && payload_length >= sizeof kExifSignature) {
      uint8_t signature[sizeof kExifSignature];
      result = ReadExactly(read, payload_offset, sizeof signature, signature);
      if (result == ReadResult::kError) {
        read_error = true;
        break;
      }
      if (result == ReadResult::kOk && std::memcmp(signature, kExifSignature, sizeof signature) == 0) {
        // A segment that runs past the end of the file is not used: its EXIF data would be cut short.
        std::vector<uint8_t> exif(payload_length);
        result = ReadExactly(read, payload_offset, payload_length, exif.data());
        if (result == ReadResult::kError) {
          read_error = true;
          break;
        }
        if (result == ReadResult::kOk) header.exif = std::move(exif);
      }
    }
    offset = payload_offset + payload_length;
  }
  // A frame size of 0 (height given later in the data) cannot be reported.
  if (!have_frame || header.width_px == 0 || header.height_px == 0) {
    return Fail(read_error ? MetadataStatus::kUnreadable : MetadataStatus::kUnknownFormat, status);
  }
  if (status) *status = MetadataStatus::kOk;
  return header;
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

}  // namespace platform
