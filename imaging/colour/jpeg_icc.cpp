// ICC profiles inside JPEG files: APP2 segments.
#include "imaging/colour/jpeg_icc.h"

#include <algorithm>
#include <cstddef>

#include "imaging/header/jpeg_segments.h"

namespace imaging::colour {
namespace {

constexpr uint8_t kSignature[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
// A segment's length field counts itself (2), the signature (12), the chunk's number and count (2).
constexpr size_t kMaxChunkBytes = 65535 - 2 - sizeof kSignature - 2;

}  // namespace

std::vector<uint8_t> IccSegments(const std::vector<uint8_t>& icc) {
  const size_t chunks = (icc.size() + kMaxChunkBytes - 1) / kMaxChunkBytes;
  std::vector<uint8_t> segments;
  if (icc.empty() || chunks > 255) return segments;
  segments.reserve(icc.size() + chunks * 18);
  for (size_t n = 0; n < chunks; ++n) {
    const size_t first = n * kMaxChunkBytes;
    const size_t size = std::min(kMaxChunkBytes, icc.size() - first);
    const size_t length = 2 + sizeof kSignature + 2 + size;
    segments.insert(segments.end(), {0xFF, 0xE2, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
    segments.insert(segments.end(), kSignature, kSignature + sizeof kSignature);
    segments.push_back(static_cast<uint8_t>(n + 1));
    segments.push_back(static_cast<uint8_t>(chunks));
    segments.insert(segments.end(), icc.begin() + static_cast<ptrdiff_t>(first),
                    icc.begin() + static_cast<ptrdiff_t>(first + size));
  }
  return segments;
}

bool EmbedIccProfile(std::vector<uint8_t>* jpeg, const std::vector<uint8_t>& icc) {
  const std::vector<uint8_t>& in = *jpeg;
  if (in.size() < 4 || in[0] != 0xFF || in[1] != 0xD8) return false;

  // After SOI, step over the APP0 and APP1 segments the encoder put first.
  uint64_t at = 2;
  bool cut_short = false;
  const JpegWalkEnd end = WalkJpegSegments(ReadFromMemory(in.data(), in.size()), JpegWalk::kHeader,
                                           [&](const JpegSegment& segment) {
                                             if (segment.marker != 0xE0 && segment.marker != 0xE1) return false;
                                             cut_short = segment.payload_length > in.size() - segment.payload_offset;
                                             at = segment.payload_offset + segment.payload_length;
                                             return !cut_short;
                                           });
  if (cut_short || (end == JpegWalkEnd::kEndOfData && at < in.size())) return false;

  const std::vector<uint8_t> segments = IccSegments(icc);
  if (segments.empty()) return false;
  jpeg->insert(jpeg->begin() + static_cast<ptrdiff_t>(at), segments.begin(), segments.end());
  return true;
}

}  // namespace imaging::colour
