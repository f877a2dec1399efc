// The reduction's fast path across opaque rows, inside the image core only: 8-bit pixels weighted by
// 14-bit fixed-point weights two taps at a time (SSE2 where the compiler targets it, the same integer
// arithmetic in plain C++ elsewhere, so every build gives the same pixels).
//
// An opaque row needs no alpha weighting, so its pixels go into the sums as they are; the sums come out
// in the float path's form (colours weighted by alpha, alpha) and the two kinds of row mix freely.
// Thread safety: pure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace imaging {

// One axis's weights in fixed point: for destination pixel i, taps first[i] .. first[i] + count[i] - 1
// weighted by pairs[offset[i] ..], each int32 holding two int16 weights (the second 0 after an odd last
// tap) that sum, per destination pixel, to exactly kFixedOne.
struct FixedTaps {
  static constexpr int kFixedOne = 1 << 14;
  std::vector<int32_t> pairs;
  std::vector<size_t> offset;

  // Appends destination pixel i's weights (`count` floats summing to 1).
  void Add(const float* weights, int count);
};

// Whether every pixel of the row of `pixels` RGBA pixels is opaque.
bool RowOpaque(const uint8_t* rgba, size_t pixels);

// Filters the opaque row `rgba` across into `out` (4 floats a destination pixel: R, G, B weighted by
// alpha, then alpha), destination pixel i from source pixels first[i] .. first[i] + count[i] - 1.
void FilterOpaqueRow(const uint8_t* rgba, const int* first, const int* count, const FixedTaps& taps, int width,
                     float* out);

}  // namespace imaging
