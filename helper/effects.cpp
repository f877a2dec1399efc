// Tone and colour effects, gamma, sharpening and the border, in single-precision arithmetic.
//
// The order of every operation follows the written formulas exactly: float addition is not associative,
// and folding constants differently would change pixels by a level here and there.
#include "helper/effects.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <new>

namespace mosalith {
namespace {

// Below 0 gives 0, 255 or above gives 255, otherwise truncation. NaN (from infinite record values)
// fails both tests and gives 0 instead of an undefined conversion.
inline uint8_t Clamp(float v) {
  if (!(v > 0.0f)) return 0;
  if (v >= 255.0f) return 255;
  return static_cast<uint8_t>(v);
}

bool ColourPassIsNeutral(const EffectRecord& e) {
  return e.brightness == 0.5f && e.contrast == 0.0f && e.saturation == 0.5f && e.exposure == 0.5f &&
         e.grayscale == 0.0f && e.temperature == 0.0f && e.wbTint == 0.0f && e.shadow == 0.0f;
}

void ColourPass(ImageBuffer& photo, const EffectRecord& e) {
  const float o = std::pow(2.0f, (e.exposure - 0.5f) * 0.93333334f);
  const float t = (1.0f - o) * 255.0f;
  const float u = (e.brightness - 0.5f) * 561.0f;
  const float k = e.contrast * 0.55f + 1.0f;
  const float d = e.saturation * 2.0f;
  const float g = e.grayscale;
  const float f = e.temperature;
  const float w = e.temperature * 0.25f;
  const float h = e.wbTint;
  const float s = e.shadow * 0.45f;

  const bool saturate = d != 1.0f;
  const bool gray = g > 0.0f;
  const bool warm = f != 0.0f;
  const bool tint = h != 0.0f;
  const bool fade = s != 0.0f;
  // Factors of the later steps, each exactly the value the per-pixel formula would compute.
  const float keep = 1.0f - g;
  const float warm_r = 1.0f + w;
  const float warm_g = 1.0f + f * 0.05f;
  const float warm_b = 1.0f - w;
  const float tint_r = 1.0f + h * 0.15f;
  const float tint_g = 1.0f - h * 0.2f;
  const float tint_b = 1.0f + h * 0.1f;
  const float fade_keep = 1.0f - s;
  const float fade_lift = s * 255.0f;

  uint8_t* p = photo.data();
  uint8_t* const end = p + photo.size_bytes();
  for (; p != end; p += 4) {
    float r = (static_cast<float>(p[0]) * o + t + u - 128.0f) * k + 128.0f;
    float gr = (static_cast<float>(p[1]) * o + t + u - 128.0f) * k + 128.0f;
    float b = (static_cast<float>(p[2]) * o + t + u - 128.0f) * k + 128.0f;
    if (saturate) {
      const float l = r * 0.3086f + gr * 0.6094f + b * 0.082f;
      r = (r - l) * d + l;
      gr = (gr - l) * d + l;
      b = (b - l) * d + l;
    }
    if (gray) {
      const float j = (r * 0.299f + gr * 0.587f + b * 0.114f) * g;
      r = r * keep + j;
      gr = gr * keep + j;
      b = b * keep + j;
    }
    if (warm) {
      r = r * warm_r;
      gr = gr * warm_g;
      b = b * warm_b;
    }
    if (tint) {
      r = r * tint_r;
      gr = gr * tint_g;
      b = b * tint_b;
    }
    if (fade) {
      r = r * fade_keep + fade_lift;
      gr = gr * fade_keep + fade_lift;
      b = b * fade_keep + fade_lift;
    }
    p[0] = Clamp(r);
    p[1] = Clamp(gr);
    p[2] = Clamp(b);
  }
}

void Gamma(ImageBuffer& photo, float gamma) {
  const float limited = std::min(std::max(gamma, 0.01f), 10.0f);
  const float exponent = 1.0f / limited;
  uint8_t table[256];
  for (int i = 0; i < 256; ++i) {
    const float v = std::pow(static_cast<float>(i) * 0.003921569f, exponent) * 255.0f;
    table[i] = v < 0.0f ? 0 : (v > 255.0f ? 255 : static_cast<uint8_t>(v + 0.5f));
  }
  uint8_t* p = photo.data();
  uint8_t* const end = p + photo.size_bytes();
  for (; p != end; p += 4) {
    p[0] = table[p[0]];
    p[1] = table[p[1]];
    p[2] = table[p[2]];
  }
}

// Reads every neighbour from the unsharpened picture. Two saved rows are enough for that: when row y
// is written, rows y - 1 and y are kept as they were and row y + 1 is still untouched in the buffer.
void Sharpen(ImageBuffer& photo, float sharpness) {
  const int32_t width = photo.width();
  const int32_t height = photo.height();
  if (width <= 2 || height <= 2) return;
  const float a = sharpness * 0.5f;
  const size_t stride = photo.stride_bytes();
  std::unique_ptr<uint8_t[]> saved(new (std::nothrow) uint8_t[stride * 2]);
  if (!saved) return;
  uint8_t* above = saved.get();
  uint8_t* current = saved.get() + stride;
  std::memcpy(above, photo.row(0), stride);
  for (int32_t y = 1; y < height - 1; ++y) {
    std::memcpy(current, photo.row(y), stride);
    const uint8_t* below = photo.row(y + 1);
    uint8_t* out = photo.row(y);
    for (int32_t x = 1; x < width - 1; ++x) {
      const size_t i = static_cast<size_t>(x) * 4;
      for (size_t c = i; c < i + 3; ++c) {
        const float center = current[c];
        const float v = center + a * (4.0f * center - above[c] - below[c] - current[c - 4] - current[c + 4]);
        out[c] = Clamp(v);
      }
    }
    std::swap(above, current);
  }
}

void BorderOutside(ImageBuffer& photo, int32_t p, const uint8_t colour[3]) {
  const int32_t width = photo.width();
  const int32_t height = photo.height();
  if (2 * static_cast<int64_t>(p) >= width || 2 * static_cast<int64_t>(p) >= height) return;
  std::optional<ImageBuffer> framed = ImageBuffer::Allocate(width, height);
  if (!framed) return;
  for (int32_t y = 0; y < height; ++y) {
    uint8_t* out = framed->row(y);
    for (int32_t x = 0; x < width; ++x, out += 4) {
      out[0] = colour[0];
      out[1] = colour[1];
      out[2] = colour[2];
      out[3] = 255;
    }
  }
  const int32_t inner_width = width - 2 * p;
  const int32_t inner_height = height - 2 * p;
  const float step_y = static_cast<float>(height) / static_cast<float>(inner_height);
  const float step_x = static_cast<float>(width) / static_cast<float>(inner_width);
  for (int32_t i = 0; i < inner_height; ++i) {
    const float sy = step_y * static_cast<float>(i);
    // sy stays below height; the min() only guards the float rounding of the last row.
    const int32_t y0 = std::min(height - 1, static_cast<int32_t>(std::floor(sy)));
    const int32_t y1 = std::min(height - 1, y0 + 1);
    const float fy = sy - static_cast<float>(y0);
    uint8_t* out = framed->pixel(p, p + i);
    for (int32_t j = 0; j < inner_width; ++j, out += 4) {
      const float sx = step_x * static_cast<float>(j);
      const int32_t x0 = std::min(width - 1, static_cast<int32_t>(std::floor(sx)));
      const int32_t x1 = std::min(width - 1, x0 + 1);
      const float fx = sx - static_cast<float>(x0);
      const uint8_t* p00 = photo.pixel(x0, y0);
      const uint8_t* p10 = photo.pixel(x1, y0);
      const uint8_t* p01 = photo.pixel(x0, y1);
      const uint8_t* p11 = photo.pixel(x1, y1);
      for (int c = 0; c < 3; ++c) {
        out[c] = Clamp((p00[c] * (1.0f - fx) + p10[c] * fx) * (1.0f - fy) +
                       (p01[c] * (1.0f - fx) + p11[c] * fx) * fy);
      }
      out[3] = 255;
    }
  }
  photo = std::move(*framed);
}

void PaintRect(ImageBuffer& photo, int32_t x_begin, int32_t y_begin, int32_t x_end, int32_t y_end,
               const uint8_t colour[3]) {
  x_begin = std::max(x_begin, 0);
  y_begin = std::max(y_begin, 0);
  x_end = std::min(x_end, photo.width());
  y_end = std::min(y_end, photo.height());
  for (int32_t y = y_begin; y < y_end; ++y) {
    for (int32_t x = x_begin; x < x_end; ++x) {
      uint8_t* out = photo.pixel(x, y);
      out[0] = colour[0];
      out[1] = colour[1];
      out[2] = colour[2];
      out[3] = 255;
    }
  }
}

void BorderInside(ImageBuffer& photo, int32_t p, const uint8_t colour[3]) {
  const int32_t width = photo.width();
  const int32_t height = photo.height();
  const int32_t p_x = std::min(p, width);
  const int32_t p_y = std::min(p, height);
  PaintRect(photo, 0, 0, width, p_y, colour);                      // top
  PaintRect(photo, 0, height - p_y, width, height, colour);        // bottom
  PaintRect(photo, 0, 0, p_x, height, colour);                     // left
  PaintRect(photo, width - p_x, 0, width, height, colour);         // right
}

}  // namespace

void ApplyEffects(ImageBuffer& photo, const EffectRecord& effects) {
  if (photo.empty()) return;
  const bool gamma_neutral = std::fabs(effects.gamma - 1.0f) <= 0.001f;
  // Skipping a neutral colour pass changes no pixel: with o = 1, t = u = 0 and k = 1 every step is exact.
  if (!ColourPassIsNeutral(effects)) ColourPass(photo, effects);
  if (!gamma_neutral && !std::isnan(effects.gamma)) Gamma(photo, effects.gamma);
  if (effects.sharpness > 0.0f) Sharpen(photo, effects.sharpness);
}

void ApplyBorder(ImageBuffer& photo, const EffectRecord& effects) {
  if (photo.empty() || !(effects.stroke > 0.0f)) return;
  const float width = effects.stroke * 20.0f * effects.strokeScale;
  if (!(width >= 1.0f)) return;  // truncates to 0 (or is NaN): no border
  // Wider than any photo: the outside border then does nothing and the inside border covers the photo.
  const int32_t p = width >= 1073741824.0f ? 1073741824 : static_cast<int32_t>(width);
  const uint8_t colour[3] = {static_cast<uint8_t>(effects.strokeColor >> 16),
                             static_cast<uint8_t>(effects.strokeColor >> 8),
                             static_cast<uint8_t>(effects.strokeColor)};
  if (effects.strokeExternal) {
    BorderOutside(photo, p, colour);
  } else {
    BorderInside(photo, p, colour);
  }
}

}  // namespace mosalith
