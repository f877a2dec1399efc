// Opaque rows filtered across in fixed point: SSE2's multiply-add of 16-bit pairs does two taps of all
// four channels in one instruction.
#include "imaging/reduce_opaque.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace imaging {
namespace {

// The alpha lane's sum is 255 * kFixedOne for an opaque row; colours are weighted by that alpha.
constexpr float kColourScale = 255.0f / FixedTaps::kFixedOne;
constexpr float kAlphaScale = 1.0f / FixedTaps::kFixedOne;

int32_t Pair(int16_t first, int16_t second) {
  return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint16_t>(first)) |
                              (static_cast<uint32_t>(static_cast<uint16_t>(second)) << 16));
}

}  // namespace

void FixedTaps::Add(const float* weights, int count) {
  offset.push_back(pairs.size());
  // Rounded weights, the rounding error given to the largest so that a flat row stays exactly flat.
  std::vector<int16_t> fixed(static_cast<size_t>(count) + 1, 0);
  int sum = 0, largest = 0;
  for (int k = 0; k < count; ++k) {
    fixed[static_cast<size_t>(k)] = static_cast<int16_t>(std::lround(weights[k] * kFixedOne));
    sum += fixed[static_cast<size_t>(k)];
    if (std::abs(weights[k]) > std::abs(weights[largest])) largest = k;
  }
  fixed[static_cast<size_t>(largest)] = static_cast<int16_t>(fixed[static_cast<size_t>(largest)] + kFixedOne - sum);
  for (int k = 0; k < count; k += 2) pairs.push_back(Pair(fixed[static_cast<size_t>(k)], fixed[static_cast<size_t>(k) + 1]));
}

bool RowOpaque(const uint8_t* rgba, size_t pixels) {
  uint32_t all = 0xFFFFFFFFu;
  for (size_t x = 0; x < pixels; ++x) {
    uint32_t word;
    std::memcpy(&word, rgba + x * 4, 4);
    all &= word;
  }
  // Byte 3 of each pixel is its alpha, whatever the machine's byte order.
  uint8_t bytes[4];
  std::memcpy(bytes, &all, 4);
  return bytes[3] == 0xFF;
}

#if defined(__SSE2__)

void FilterOpaqueRow(const uint8_t* rgba, const int* first, const int* count, const FixedTaps& taps, int width,
                     float* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128 scale = _mm_setr_ps(kColourScale, kColourScale, kColourScale, kAlphaScale);
  for (int i = 0; i < width; ++i) {
    const uint8_t* pixel = rgba + static_cast<size_t>(first[i]) * 4;
    const int32_t* pair = taps.pairs.data() + taps.offset[i];
    const int n = count[i];
    __m128i sum = zero;
    int k = 0;
    // Four taps from one load: pixels 0 and 1 interleaved in the low half, 2 and 3 in the high half.
    for (; k + 3 < n; k += 4, pair += 2) {
      const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pixel + static_cast<size_t>(k) * 4));
      const __m128i next = _mm_srli_si128(four, 4);
      const __m128i first_two = _mm_unpacklo_epi8(_mm_unpacklo_epi8(four, next), zero);
      const __m128i last_two = _mm_unpacklo_epi8(_mm_unpackhi_epi8(four, next), zero);
      const __m128i weights = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pair));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(first_two, _mm_shuffle_epi32(weights, 0x00)));
      sum = _mm_add_epi32(sum, _mm_madd_epi16(last_two, _mm_shuffle_epi32(weights, 0x55)));
    }
    for (; k + 1 < n; k += 2, ++pair) {
      // Two neighbouring pixels, their channels interleaved (R0 R1 G0 G1 ...) as 16-bit values.
      const __m128i two = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(pixel + static_cast<size_t>(k) * 4));
      const __m128i pairs = _mm_unpacklo_epi8(_mm_unpacklo_epi8(two, _mm_srli_si128(two, 4)), zero);
      sum = _mm_add_epi32(sum, _mm_madd_epi16(pairs, _mm_set1_epi32(*pair)));
    }
    if (k < n) {  // the odd last tap, its pair's second weight 0
      int32_t word;
      std::memcpy(&word, pixel + static_cast<size_t>(k) * 4, 4);
      const __m128i one = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(word), zero), zero);
      sum = _mm_add_epi32(sum, _mm_madd_epi16(one, _mm_set1_epi32(*pair)));
    }
    _mm_storeu_ps(out + static_cast<size_t>(i) * 4, _mm_mul_ps(_mm_cvtepi32_ps(sum), scale));
  }
}

#else

void FilterOpaqueRow(const uint8_t* rgba, const int* first, const int* count, const FixedTaps& taps, int width,
                     float* out) {
  for (int i = 0; i < width; ++i) {
    const uint8_t* pixel = rgba + static_cast<size_t>(first[i]) * 4;
    const int32_t* pair = taps.pairs.data() + taps.offset[i];
    int32_t sum[4] = {0, 0, 0, 0};
    for (int k = 0; k < count[i]; ++k) {
      const uint32_t packed = static_cast<uint32_t>(pair[k / 2]);
      const int16_t w = static_cast<int16_t>(k % 2 == 0 ? packed & 0xFFFF : packed >> 16);
      for (int c = 0; c < 4; ++c) sum[c] += w * pixel[static_cast<size_t>(k) * 4 + c];
    }
    float* o = out + static_cast<size_t>(i) * 4;
    for (int c = 0; c < 4; ++c) o[c] = static_cast<float>(sum[c]) * (c < 3 ? kColourScale : kAlphaScale);
  }
}

#endif

}  // namespace imaging
