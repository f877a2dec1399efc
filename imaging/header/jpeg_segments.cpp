// The JPEG marker-segment walk over bounded, windowed reads.
#include "imaging/header/jpeg_segments.h"

#include <cstring>

namespace imaging {
namespace {

// The file's bytes through a small window, so that the byte-by-byte steps of the walk (fill bytes, the
// search through entropy-coded data) cost one read call per window.
class Cursor {
 public:
  explicit Cursor(const ReadAtFunction& read) : read_(read) {}

  // The byte at `offset` into `*out`: 1, or 0 at the end of the data, or -1 on a read error.
  int Byte(uint64_t offset, uint8_t* out) {
    const int ready = Ensure(offset);
    if (ready == 1) *out = window_[offset - start_];
    return ready;
  }

  // Moves `*offset` to the next 0xFF byte at or after it: 1 found, 0 none before the end, -1 read error.
  int FindMarkerByte(uint64_t* offset) {
    for (;;) {
      const int ready = Ensure(*offset);
      if (ready != 1) return ready;
      const size_t from = static_cast<size_t>(*offset - start_);
      const void* found = std::memchr(window_ + from, 0xFF, filled_ - from);
      if (found != nullptr) {
        *offset = start_ + static_cast<size_t>(static_cast<const uint8_t*>(found) - window_);
        return 1;
      }
      *offset = start_ + filled_;
    }
  }

 private:
  int Ensure(uint64_t offset) {
    if (offset >= start_ && offset - start_ < filled_) return 1;
    const int64_t got = read_(offset, sizeof window_, window_);
    if (got < 0) {
      filled_ = 0;
      return -1;
    }
    start_ = offset;
    filled_ = static_cast<size_t>(got);
    return filled_ > 0 ? 1 : 0;
  }

  const ReadAtFunction& read_;
  uint8_t window_[4096];
  uint64_t start_ = 0;
  size_t filled_ = 0;
};

JpegWalkEnd EndFor(int ready) { return ready < 0 ? JpegWalkEnd::kReadError : JpegWalkEnd::kEndOfData; }

}  // namespace

JpegWalkEnd WalkJpegSegments(const ReadAtFunction& read, JpegWalk mode,
                             const std::function<bool(const JpegSegment&)>& visit) {
  Cursor cursor(read);
  uint64_t at = 2;  // after the start of image
  for (;;) {
    int ready = 1;
    if (mode == JpegWalk::kWholeFile) {
      ready = cursor.FindMarkerByte(&at);
      if (ready != 1) return EndFor(ready);
    }
    uint8_t byte = 0;
    ready = cursor.Byte(at, &byte);
    if (ready != 1) return EndFor(ready);
    if (byte != 0xFF) return JpegWalkEnd::kNotAMarker;
    do {
      ++at;
      ready = cursor.Byte(at, &byte);
    } while (ready == 1 && byte == 0xFF);
    if (ready != 1) return EndFor(ready);
    const uint8_t marker = byte;
    ++at;
    if (marker == 0x00) {
      // A stuffed zero inside entropy-coded data; in the header it is damage.
      if (mode == JpegWalk::kHeader) return JpegWalkEnd::kNotAMarker;
      continue;
    }
    // Markers without a length: TEM, the restart markers and a repeated start of image.
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
    if (marker == 0xD9) return JpegWalkEnd::kEndOfImage;
    if (marker == 0xDA && mode == JpegWalk::kHeader) return JpegWalkEnd::kStartOfScan;
    uint8_t high = 0, low = 0;
    ready = cursor.Byte(at, &high);
    if (ready == 1) ready = cursor.Byte(at + 1, &low);
    if (ready != 1) return EndFor(ready);
    const uint32_t length = static_cast<uint32_t>(high) << 8 | low;
    if (length < 2) return JpegWalkEnd::kBadLength;
    if (!visit(JpegSegment{marker, at + 2, length - 2})) return JpegWalkEnd::kStopped;
    at += length;
  }
}

}  // namespace imaging
