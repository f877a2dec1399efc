// Which JPEG files cairo's PDF surface carries as they are stored, and the bytes to give it.
//
// cairo reads a JPEG's frame header with a strict marker walk of its own: a 0xFF expected at each step,
// segments skipped by their lengths, the frame header's size and component count read. When that walk
// fails, or the size differs from the image surface's, cairo silently draws the surface's pixels instead:
// a blank page for a surface made only to carry the JPEG. Its walk stumbles on a single fill byte (a legal
// extra 0xFF before a marker), so such files are passed with the fill bytes before the frame header
// removed (from the frame header on, the bytes stay as they are). cairo also writes a four-component JPEG
// as plain CMYK, without the inversion an Adobe file calls for, so it would print as a negative.
// Embeddable: baseline, extended or progressive Huffman frames of 8-bit samples with 1 or 3 components
// whose size is the expected one, after a marker walk that finds only whole segments. Everything else is
// drawn from decoded pixels.
// Pure functions, thread-safe.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct JpegForPdf {
  bool embeddable = false;
  std::string reason;  // why not, for log lines; empty when embeddable
};

// Checks `*bytes` (a whole JPEG file) against what cairo embeds as stored, for a picture of
// width_px x height_px, and removes fill bytes before the frame header. `*bytes` is changed only when the
// result is embeddable.
JpegForPdf PrepareJpegForPdf(std::vector<uint8_t>* bytes, int width_px, int height_px);

}  // namespace platform
