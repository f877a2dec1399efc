// The JPEG marker-segment walk: the one place that knows how a JPEG file is cut into segments.
//
// A segment is 0xFF, any number of 0xFF fill bytes, a marker code, then (for every marker but the start
// and end of image, TEM and the restart markers) a big-endian length that counts its own two bytes,
// and the payload. Segments are reported as found; what they hold is the visitor's business. A stated
// length is never trusted beyond the walk: the payload may run past the end of the file, and the
// visitor reads it through the same bounded reads.
// Thread safety: re-entrant.
#pragma once

#include <cstdint>
#include <functional>

#include "imaging/header/read_at.h"

namespace imaging {

struct JpegSegment {
  uint8_t marker = 0;
  uint64_t payload_offset = 0;  // the byte after the length
  uint32_t payload_length = 0;  // the stated length less its own two bytes
};

enum class JpegWalk {
  // The header: from the start of image to the start of scan (not reported). Each segment must begin
  // where the one before ends (fill bytes allowed).
  kHeader,
  // The whole file, the tables between the scans of a progressive file included: after each segment
  // the next 0xFF is searched for, so entropy-coded data and stray bytes are passed over, as are
  // stuffed zero bytes and the restart markers. Start-of-scan segments are reported. Ends at the end of
  // image or the end of the data.
  kWholeFile,
};

enum class JpegWalkEnd {
  kStartOfScan,   // kHeader only
  kEndOfImage,
  kEndOfData,     // the file ended where a marker or a length was due
  kNotAMarker,    // kHeader only: a byte other than 0xFF where a segment was due, or a stuffed zero
  kBadLength,     // a length below 2
  kStopped,       // the visitor asked to stop
  kReadError,
};

// Calls `visit` for each segment with a length, in file order, starting after the start of image (the
// caller has checked the file begins FF D8). `visit` returns false to end the walk.
JpegWalkEnd WalkJpegSegments(const ReadAtFunction& read, JpegWalk mode,
                             const std::function<bool(const JpegSegment&)>& visit);

// Start-of-frame markers, which carry the frame size: C0-C3, C5-C7, C9-CB, CD-CF (C4 is DHT, C8 is
// reserved, CC is DAC).
inline bool IsStartOfFrame(uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

}  // namespace imaging
