// ICC profiles inside JPEG files: the APP2 "ICC_PROFILE" segments an encoded JPEG is given so that
// readers know the space of its numbers.
//
// A profile is cut into chunks of at most 65519 bytes, each in its own APP2 segment numbered 1..N of N,
// placed after the file's leading APP0 (JFIF) and APP1 (EXIF) segments, where readers look for them.
// Thread safety: re-entrant.
#pragma once

#include <cstdint>
#include <vector>

namespace imaging::colour {

// Inserts `icc` into the encoded JPEG `*jpeg`. False, with `*jpeg` unchanged, when it does not begin
// with a JPEG start marker, a leading segment runs past its end, or the profile is empty or needs more
// than 255 chunks.
bool EmbedIccProfile(std::vector<uint8_t>* jpeg, const std::vector<uint8_t>& icc);

// The APP2 segments of `icc` alone, for an encoder that writes them itself after its leading segments;
// empty when the profile is empty or needs more than 255 chunks.
std::vector<uint8_t> IccSegments(const std::vector<uint8_t>& icc);

}  // namespace imaging::colour
