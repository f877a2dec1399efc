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
// gives 0 instead of an undefined conversion. Written as two selects so that it compiles to min/max
// instructions: photo data makes a branch here unpredictable and several times slower.
inline uint8_t Clamp(float v) {
  v = v > 0.0f ? v : 0.0f;
  v = v < 255.0f ? v : 255.0f;
  return static_cast<uint8_t>(static_cast<int32_t>(v));
}

bool ColourPassIsNeutral(const EffectRecord& e) {
  return e.brightness == 0.5f && e.contrast == 0.0f && e.saturation == 0.5f && e.exposure == 0.5f &&
         e.grayscale == 0.0f && e.temperature == 0.0f && e.wbTint == 0.0f && e.shadow == 0.0f;
}

// The per-photo constants of the colour pass and the steps that act on one channel alone.
//
// Speed without changing a single result: step 1 depends on one 8-bit channel value only, so its float
// result is tabulated for the 256 inputs (the same operations on the same inputs give the same floats).
// When neither saturation nor grayscale mixes the channels, the whole pass, gamma included, is a byte
// table per channel.
struct ColourPass {
  explicit ColourPass(const EffectRecord& e) {
    const float o = std::pow(2.0f, (e.exposure - 0.5f) * 0.93333334f);
    const float t = (1.0f - o) * 255.0f;
    const float u = (e.brightness - 0.5f) * 561.0f;
    const float k = e.contrast * 0.55f + 1.0f;
    for (int i = 0; i < 256; ++i) first_step[i] = (static_cast<float>(i) * o + t + u - 128.0f) * k + 128.0f;
    d = e.saturation * 2.0f;
    g = e.grayscale;
    keep = 1.0f - g;
    saturate = d != 1.0f;
    gray = g > 0.0f;
    const float f = e.temperature;
    const float w = e.temperature * 0.25f;
    warm = f != 0.0f;
    warm_factor[0] = 1.0f + w;
    warm_factor[1] = 1.0f + f * 0.05f;
    warm_factor[2] = 1.0f - w;
    const float h = e.wbTint;
    tint = h != 0.0f;
    tint_factor[0] = 1.0f + h * 0.15f;
    tint_factor[1] = 1.0f - h * 0.2f;
    tint_factor[2] = 1.0f + h * 0.1f;
    const float s = e.shadow * 0.45f;
    fade = s != 0.0f;
    fade_keep = 1.0f - s;
    fade_lift = s * 255.0f;
  }

  bool MixesChannels() const { return saturate || gray; }

  // Steps 4 to 6 on channel c (0 = R, 1 = G, 2 = B).
  float LastSteps(float x, int c) const {
    if (warm) x = x * warm_factor[c];
    if (tint) x = x * tint_factor[c];
    if (fade) x = x * fade_keep + fade_lift;
    return x;
  }

  float first_step[256];
  float d, g, keep;
  bool saturate, gray, warm, tint, fade;
  float warm_factor[3], tint_factor[3];
  float fade_keep, fade_lift;
};

// The gamma table, or the identity when gamma is within its allowance of 1 (or not a number).
void BuildGammaTable(float gamma, uint8_t table[256]) {
  if (!(std::fabs(gamma - 1.0f) > 0.001f)) {
    for (int i = 0; i < 256; ++i) table[i] = static_cast<uint8_t>(i);
    return;
  }
  const float limited = std::min(std::max(gamma, 0.01f), 10.0f);
  const float exponent = 1.0f / limited;
  for (int i = 0; i < 256; ++i) {
    const float v = std::pow(static_cast<float>(i) * 0.003921569f, exponent) * 255.0f;
    table[i] = v < 0.0f ? 0 : (v > 255.0f ? 255 : static_cast<uint8_t>(v + 0.5f));
  }
}

// R, G and B of every pixel through their own byte table.
void MapChannels(imaging::Bitmap& photo, const uint8_t tables[3][256]) {
  uint8_t* p = photo.rgba.data();
  uint8_t* const end = p + photo.rgba.size();
  for (; p != end; p += 4) {
    p[0] = tables[0][p[0]];
    p[1] = tables[1][p[1]];
    p[2] = tables[2][p[2]];
  }
}

// The colour pass with saturation or grayscale, then the gamma table, in one loop over the pixels.
void MixingColourPass(imaging::Bitmap& photo, const ColourPass& pass, const uint8_t gamma[256]) {
  uint8_t* p = photo.rgba.data();
  uint8_t* const end = p + photo.rgba.size();
  for (; p != end; p += 4) {
    float r = pass.first_step[p[0]];
    float gr = pass.first_step[p[1]];
    float b = pass.first_step[p[2]];
    if (pass.saturate) {
      const float l = r * 0.3086f + gr * 0.6094f + b * 0.082f;
      r = (r - l) * pass.d + l;
      gr = (gr - l) * pass.d + l;
      b = (b - l) * pass.d + l;
    }
    if (pass.gray) {
      const float j = (r * 0.299f + gr * 0.587f + b * 0.114f) * pass.g;
      r = r * pass.keep + j;
      gr = gr * pass.keep + j;
      b = b * pass.keep + j;
    }
    p[0] = gamma[Clamp(pass.LastSteps(r, 0))];
    p[1] = gamma[Clamp(pass.LastSteps(gr, 1))];
    p[2] = gamma[Clamp(pass.LastSteps(b, 2))];
  }
}

// Reads every neighbour from the unsharpened picture. Two saved rows are enough for that: when row y
// is written, rows y - 1 and y are kept as they were and row y + 1 is still untouched in the buffer.
void Sharpen(imaging::Bitmap& photo, float sharpness) {
  const int32_t width = photo.width_px;
  const int32_t height = photo.height_px;
  if (width <= 2 || height <= 2) return;
  const float a = sharpness * 0.5f;
  const size_t stride = photo.row_bytes();
  std::unique_ptr<uint8_t[]> saved(new (std::nothrow) uint8_t[stride * 2]);
  if (!saved) return;
  uint8_t* above = saved.get();
  uint8_t* current = saved.get() + stride;
  std::memcpy(above, photo.row(0), stride);
  const size_t first = 4;
  const size_t last = (static_cast<size_t>(width) - 1) * 4;
  for (int32_t y = 1; y < height - 1; ++y) {
    std::memcpy(current, photo.row(y), stride);
    const uint8_t* below = photo.row(y + 1);
    uint8_t* out = photo.row(y);
    for (size_t i = first; i < last; i += 4) {
      for (size_t c = i; c < i + 3; ++c) {
        // 4c - up - down - left - right is a small integer, exact in float whatever the order; only
        // the multiply-add by the amount needs floating point.
        const int32_t center = current[c];
        const int32_t laplacian = 4 * center - above[c] - below[c] - current[c - 4] - current[c + 4];
        out[c] = Clamp(static_cast<float>(center) + a * static_cast<float>(laplacian));
      }
    }
    std::swap(above, current);
  }
}

void BorderOutside(imaging::Bitmap& photo, int32_t p, const uint8_t colour[3]) {
  const int32_t width = photo.width_px;
  const int32_t height = photo.height_px;
  if (2 * static_cast<int64_t>(p) >= width || 2 * static_cast<int64_t>(p) >= height) return;
  std::optional<imaging::Bitmap> framed = imaging::MakeBitmap(width, height, 0, photo.budget());
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
  // The source columns and weights are the same for every row: work them out once. sx and sy are never
  // negative, so truncation is the floor; they stay below the size, the min() only guards float rounding.
  struct Column {
    size_t left_byte;
    size_t right_byte;
    float fx;
  };
  std::unique_ptr<Column[]> columns(new (std::nothrow) Column[static_cast<size_t>(inner_width)]);
  if (!columns) return;
  for (int32_t j = 0; j < inner_width; ++j) {
    const float sx = step_x * static_cast<float>(j);
    const int32_t x0 = std::min(width - 1, static_cast<int32_t>(sx));
    const int32_t x1 = std::min(width - 1, x0 + 1);
    columns[j] = {static_cast<size_t>(x0) * 4, static_cast<size_t>(x1) * 4, sx - static_cast<float>(x0)};
  }
  for (int32_t i = 0; i < inner_height; ++i) {
    const float sy = step_y * static_cast<float>(i);
    const int32_t y0 = std::min(height - 1, static_cast<int32_t>(sy));
    const int32_t y1 = std::min(height - 1, y0 + 1);
    const float fy = sy - static_cast<float>(y0);
    const uint8_t* top = photo.row(y0);
    const uint8_t* bottom = photo.row(y1);
    uint8_t* out = framed->pixel(p, p + i);
    for (int32_t j = 0; j < inner_width; ++j, out += 4) {
      const Column& column = columns[j];
      const float fx = column.fx;
      const uint8_t* p00 = top + column.left_byte;
      const uint8_t* p10 = top + column.right_byte;
      const uint8_t* p01 = bottom + column.left_byte;
      const uint8_t* p11 = bottom + column.right_byte;
      for (int c = 0; c < 3; ++c) {
        out[c] = Clamp((p00[c] * (1.0f - fx) + p10[c] * fx) * (1.0f - fy) +
                       (p01[c] * (1.0f - fx) + p11[c] * fx) * fy);
      }
      out[3] = 255;
    }
  }
  photo = std::move(*framed);
}

void PaintRect(imaging::Bitmap& photo, int32_t x_begin, int32_t y_begin, int32_t x_end, int32_t y_end,
               const uint8_t colour[3]) {
  x_begin = std::max(x_begin, 0);
  y_begin = std::max(y_begin, 0);
  x_end = std::min(x_end, photo.width_px);
  y_end = std::min(y_end, photo.height_px);
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

void BorderInside(imaging::Bitmap& photo, int32_t p, const uint8_t colour[3]) {
  const int32_t width = photo.width_px;
  const int32_t height = photo.height_px;
  const int32_t p_x = std::min(p, width);
  const int32_t p_y = std::min(p, height);
  PaintRect(photo, 0, 0, width, p_y, colour);                      // top
  PaintRect(photo, 0, height - p_y, width, height, colour);        // bottom
  PaintRect(photo, 0, 0, p_x, height, colour);                     // left
  PaintRect(photo, width - p_x, 0, width, height, colour);         // right
}

}  // namespace

void ApplyEffects(imaging::Bitmap& photo, const EffectRecord& effects) {
  if (photo.empty()) return;
  const bool colour_neutral = ColourPassIsNeutral(effects);
  const bool gamma_neutral = std::fabs(effects.gamma - 1.0f) <= 0.001f;
  if (colour_neutral && gamma_neutral && effects.sharpness == 0.0f) return;

  uint8_t gamma[256];
  BuildGammaTable(effects.gamma, gamma);
  // A neutral colour pass is exact (o = 1, t = u = 0, k = 1), so skipping it changes no pixel.
  if (!colour_neutral) {
    const ColourPass pass(effects);
    if (pass.MixesChannels()) {
      MixingColourPass(photo, pass, gamma);
    } else {
      uint8_t tables[3][256];
      for (int c = 0; c < 3; ++c) {
        for (int i = 0; i < 256; ++i) tables[c][i] = gamma[Clamp(pass.LastSteps(pass.first_step[i], c))];
      }
      MapChannels(photo, tables);
    }
  } else if (!gamma_neutral) {
    uint8_t tables[3][256];
    for (int c = 0; c < 3; ++c) std::memcpy(tables[c], gamma, sizeof(gamma));
    MapChannels(photo, tables);
  }
  if (effects.sharpness > 0.0f) Sharpen(photo, effects.sharpness);
}

void ApplyBorder(imaging::Bitmap& photo, const EffectRecord& effects, int32_t bleed_px) {
  if (photo.empty() || !(effects.stroke > 0.0f)) return;
  const float width = effects.stroke * 20.0f * effects.strokeScale;
  if (!(width >= 1.0f)) return;  // truncates to 0 (or is NaN): no border
  // Wider than any photo: the outside border then does nothing and the inside border covers the photo.
  // The bleed is border too: the border's outer edge is the magnet's cut edge.
  const int32_t p = width >= 1073741824.0f ? 1073741824 : static_cast<int32_t>(width) + std::max(bleed_px, 0);
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
