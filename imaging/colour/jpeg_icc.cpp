// ICC profiles inside JPEG files: APP2 segments.
#include "imaging/colour/jpeg_icc.h"

#include <algorithm>
#include <cstddef>

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
  size_t at = 2;
  while (at + 4 <= in.size() && in[at] == 0xFF && (in[at + 1] == 0xE0 || in[at + 1] == 0xE1)) {
    const size_t length = (size_t{in[at + 2]} << 8) | in[at + 3];
    if (length < 2 || at + 2 + length > in.size()) return false;
    at += 2 + length;
  }

  const std::vector<uint8_t> segments = IccSegments(icc);
  if (segments.empty()) return false;
  jpeg->insert(jpeg->begin() + static_cast<ptrdiff_t>(at), segments.begin(), segments.end());
  return true;
}

}  // namespace imaging::colour
