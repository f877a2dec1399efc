// ReduceBitmap: weights per destination column and row, then the two passes with a ring of filtered rows.
#include "platform/reduce.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <vector>

namespace platform {
namespace {

// Mitchell-Netravali with B = C = 1/3, for |x| in source pixels of the unstretched filter; 0 from 2 on.
double Mitchell(double x) {
  constexpr double B = 1.0 / 3.0, C = 1.0 / 3.0;
  x = std::fabs(x);
  if (x < 1.0) return ((12 - 9 * B - 6 * C) * x * x * x + (-18 + 12 * B + 6 * C) * x * x + (6 - 2 * B)) / 6.0;
  if (x < 2.0) {
    return ((-B - 6 * C) * x * x * x + (6 * B + 30 * C) * x * x + (-12 * B - 48 * C) * x + (8 * B + 24 * C)) / 6.0;
  }
  return 0.0;
}

// The source pixels that make one destination pixel, and their weights (summing to 1).
struct Taps {
  int first = 0;  // source index of weights[0], within the part
  std::vector<float> weights;
};

// Taps for each of `out` destination pixels over `in` source pixels. The filter is stretched by the
// reduction factor (not narrowed on enlargement); source indices beyond the edges repeat the edge pixel.
std::vector<Taps> TapsFor(int in, int out) {
  const double scale = static_cast<double>(in) / out;
  const double stretch = std::max(scale, 1.0);
  const double radius = 2.0 * stretch;
  std::vector<Taps> taps(static_cast<size_t>(out));
  for (int o = 0; o < out; ++o) {
    const double centre = (o + 0.5) * scale - 0.5;  // in source pixel indices
    const int first = static_cast<int>(std::floor(centre - radius)) + 1;
    const int last = static_cast<int>(std::ceil(centre + radius)) - 1;
    Taps& t = taps[static_cast<size_t>(o)];
    t.first = std::clamp(first, 0, in - 1);
    const int end = std::clamp(last, 0, in - 1);
    t.weights.assign(static_cast<size_t>(end - t.first + 1), 0.0f);
    double sum = 0;
    for (int i = first; i <= last; ++i) {
      const double w = Mitchell((i - centre) / stretch);
      const int at = std::clamp(i, 0, in - 1) - t.first;  // edge pixels take the weight beyond the edge
      t.weights[static_cast<size_t>(at)] += static_cast<float>(w);
      sum += w;
    }
    for (float& w : t.weights) w = static_cast<float>(w / sum);
  }
  return taps;
}

uint8_t ToByte(float value) { return static_cast<uint8_t>(std::clamp(std::lround(value), 0L, 255L)); }

}  // namespace

std::optional<Bitmap> ReduceBitmap(const Bitmap& image, const PixelRect& part, int width_px, int height_px) {
  if (image.empty() || image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return std::nullopt;
  }
  if (part.width < 1 || part.height < 1 || part.x < 0 || part.y < 0 || part.x > image.width_px - part.width ||
      part.y > image.height_px - part.height || !SizeWithinLimits(width_px, height_px)) {
    return std::nullopt;
  }
  try {
    const std::vector<Taps> across = TapsFor(part.width, width_px);
    const std::vector<Taps> down = TapsFor(part.height, height_px);
    size_t ring_rows = 1;
    for (const Taps& t : down) ring_rows = std::max(ring_rows, t.weights.size());
    // Source rows filtered across, premultiplied, kept while destination rows still need them.
    const size_t row_floats = static_cast<size_t>(width_px) * 4;
    std::vector<float> ring(ring_rows * row_floats);
    std::vector<int> ring_holds(ring_rows, -1);  // which part row each slot holds
    auto filtered_row = [&](int row) -> const float* {
      float* slot = ring.data() + static_cast<size_t>(row) % ring_rows * row_floats;
      int& held = ring_holds[static_cast<size_t>(row) % ring_rows];
      if (held == row) return slot;
      held = row;
      const uint8_t* source = image.pixel(part.x, part.y + row);
      for (int x = 0; x < width_px; ++x) {
        const Taps& t = across[static_cast<size_t>(x)];
        float r = 0, g = 0, b = 0, a = 0;
        const uint8_t* p = source + static_cast<size_t>(t.first) * 4;
        for (const float w : t.weights) {
          const float wa = w * p[3];
          r += wa * p[0], g += wa * p[1], b += wa * p[2], a += wa;
          p += 4;
        }
        float* out = slot + static_cast<size_t>(x) * 4;
        out[0] = r, out[1] = g, out[2] = b, out[3] = a;
      }
      return slot;
    };

    std::optional<Bitmap> result = MakeBitmap(width_px, height_px);
    if (!result) return std::nullopt;
    std::vector<float> sums(row_floats);
    for (int y = 0; y < height_px; ++y) {
      const Taps& t = down[static_cast<size_t>(y)];
      std::fill(sums.begin(), sums.end(), 0.0f);
      for (size_t k = 0; k < t.weights.size(); ++k) {
        const float* row = filtered_row(t.first + static_cast<int>(k));
        const float w = t.weights[k];
        for (size_t i = 0; i < row_floats; ++i) sums[i] += w * row[i];
      }
      uint8_t* out = result->pixel(0, y);
      for (int x = 0; x < width_px; ++x, out += 4) {
        const float* s = sums.data() + static_cast<size_t>(x) * 4;
        const float alpha = s[3];
        if (alpha < 0.5f) {
          out[0] = out[1] = out[2] = out[3] = 0;
          continue;
        }
        out[0] = ToByte(s[0] / alpha), out[1] = ToByte(s[1] / alpha), out[2] = ToByte(s[2] / alpha);
        out[3] = ToByte(alpha);
      }
    }
    return result;
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
}

std::optional<Bitmap> ReduceBitmap(const Bitmap& image, int width_px, int height_px) {
  return ReduceBitmap(image, PixelRect{0, 0, image.width_px, image.height_px}, width_px, height_px);
}

}  // namespace platform
