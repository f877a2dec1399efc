// Colour conversions over LittleCMS 2, and their table.
#include "imaging/colour/colour_transforms.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <vector>

namespace imaging::colour {
namespace {

// The test grid of "gives the same numbers": every grey, every level of each primary alone, and a
// 9 x 9 x 9 lattice of mixtures.
std::vector<uint8_t> TestColours() {
  std::vector<uint8_t> rgba;
  const auto add = [&rgba](int r, int g, int b) {
    rgba.insert(rgba.end(), {static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b), 255});
  };
  for (int v = 0; v < 256; ++v) {
    add(v, v, v);
    add(v, 0, 0);
    add(0, v, 0);
    add(0, 0, v);
  }
  for (int r = 0; r < 9; ++r) {
    for (int g = 0; g < 9; ++g) {
      for (int b = 0; b < 9; ++b) add(std::min(255, r * 32), std::min(255, g * 32), std::min(255, b * 32));
    }
  }
  return rgba;
}

bool WithinOneLevel(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::abs(int{a[i]} - int{b[i]}) > 1) return false;
  }
  return true;
}

bool ChangesNothing(cmsHTRANSFORM transform) {
  static const std::vector<uint8_t> colours = TestColours();
  std::vector<uint8_t> converted = colours;
  cmsDoTransform(transform, converted.data(), converted.data(), static_cast<cmsUInt32Number>(converted.size() / 4));
  return WithinOneLevel(converted, colours);
}

// Steps of linear light the output curves are tabulated at: fine enough that a dark level of a 1/2.2
// gamma curve lands within one level of the library's own result.
constexpr int kLinearSteps = 65536;

}  // namespace

struct MatrixShaperPath {
  float in[3][256];                // linear light of each level, per channel
  float matrix[9];                 // source linear RGB -> destination linear RGB, row by row
  uint8_t out[3][kLinearSteps];    // destination level of each step of linear light

  void Apply(uint8_t* rgba, size_t pixel_count) const {
    constexpr float kTop = static_cast<float>(kLinearSteps - 1);
    for (size_t i = 0; i < pixel_count; ++i, rgba += 4) {
      const float r = in[0][rgba[0]], g = in[1][rgba[1]], b = in[2][rgba[2]];
      for (int c = 0; c < 3; ++c) {
        const float v = matrix[c * 3] * r + matrix[c * 3 + 1] * g + matrix[c * 3 + 2] * b;
        rgba[c] = out[c][static_cast<int>(std::clamp(v, 0.0f, 1.0f) * kTop + 0.5f)];
      }
    }
  }
};

namespace {

bool Invert(const double m[9], double inv[9]) {
  const double det = m[0] * (m[4] * m[8] - m[5] * m[7]) - m[1] * (m[3] * m[8] - m[5] * m[6]) +
                     m[2] * (m[3] * m[7] - m[4] * m[6]);
  if (std::abs(det) < 1e-12) return false;
  inv[0] = (m[4] * m[8] - m[5] * m[7]) / det;
  inv[1] = (m[2] * m[7] - m[1] * m[8]) / det;
  inv[2] = (m[1] * m[5] - m[2] * m[4]) / det;
  inv[3] = (m[5] * m[6] - m[3] * m[8]) / det;
  inv[4] = (m[0] * m[8] - m[2] * m[6]) / det;
  inv[5] = (m[2] * m[3] - m[0] * m[5]) / det;
  inv[6] = (m[3] * m[7] - m[4] * m[6]) / det;
  inv[7] = (m[1] * m[6] - m[0] * m[7]) / det;
  inv[8] = (m[0] * m[4] - m[1] * m[3]) / det;
  return true;
}

// The colorants of a matrix-and-curves profile as a matrix (columns red, green, blue; rows X, Y, Z).
bool Colorants(cmsHPROFILE profile, double m[9]) {
  const cmsTagSignature tags[3] = {cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag};
  for (int c = 0; c < 3; ++c) {
    const auto* xyz = static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, tags[c]));
    if (xyz == nullptr) return false;
    m[c] = xyz->X;
    m[3 + c] = xyz->Y;
    m[6 + c] = xyz->Z;
  }
  return true;
}

const cmsToneCurve* Curve(cmsHPROFILE profile, int channel) {
  const cmsTagSignature tags[3] = {cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag};
  return static_cast<const cmsToneCurve*>(cmsReadTag(profile, tags[channel]));
}

// The fast path between two matrix-and-curves RGB profiles, when it agrees with the library's own
// unoptimised (floating-point) conversion.
std::unique_ptr<const MatrixShaperPath> FastPathFor(const Profile& from, const Profile& to) {
  cmsHPROFILE a = from.handle(), b = to.handle();
  if (!cmsIsMatrixShaper(a) || !cmsIsMatrixShaper(b) || cmsGetColorSpace(a) != cmsSigRgbData ||
      cmsGetColorSpace(b) != cmsSigRgbData) {
    return nullptr;
  }
  double source[9], target[9], target_inverse[9];
  if (!Colorants(a, source) || !Colorants(b, target) || !Invert(target, target_inverse)) return nullptr;
  auto path = std::make_unique<MatrixShaperPath>();
  for (int r = 0; r < 3; ++r) {
    for (int c = 0; c < 3; ++c) {
      double sum = 0;
      for (int k = 0; k < 3; ++k) sum += target_inverse[r * 3 + k] * source[k * 3 + c];
      path->matrix[r * 3 + c] = static_cast<float>(sum);
    }
  }
  for (int c = 0; c < 3; ++c) {
    const cmsToneCurve* in = Curve(a, c);
    const cmsToneCurve* out = Curve(b, c);
    if (in == nullptr || out == nullptr) return nullptr;
    cmsToneCurve* reversed = cmsReverseToneCurve(out);
    if (reversed == nullptr) return nullptr;
    for (int v = 0; v < 256; ++v) path->in[c][v] = cmsEvalToneCurveFloat(in, static_cast<cmsFloat32Number>(v / 255.0));
    for (int i = 0; i < kLinearSteps; ++i) {
      const float level = cmsEvalToneCurveFloat(reversed, static_cast<cmsFloat32Number>(i) / (kLinearSteps - 1));
      path->out[c][i] = static_cast<uint8_t>(std::clamp(level, 0.0f, 1.0f) * 255.0f + 0.5f);
    }
    cmsFreeToneCurve(reversed);
  }
  // Used only where it gives the library's own numbers.
  cmsHTRANSFORM reference = cmsCreateTransform(a, TYPE_RGBA_8, b, TYPE_RGBA_8, INTENT_PERCEPTUAL,
                                               cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOOPTIMIZE | cmsFLAGS_NOCACHE);
  if (reference == nullptr) return nullptr;
  static const std::vector<uint8_t> colours = TestColours();
  std::vector<uint8_t> by_library = colours, by_path = colours;
  cmsDoTransform(reference, by_library.data(), by_library.data(), static_cast<cmsUInt32Number>(colours.size() / 4));
  cmsDeleteTransform(reference);
  path->Apply(by_path.data(), colours.size() / 4);
  if (!WithinOneLevel(by_library, by_path)) return nullptr;
  return path;
}

}  // namespace

Conversion::Conversion(void* transform, std::string source_note, std::unique_ptr<const MatrixShaperPath> fast)
    : transform_(transform), source_note_(std::move(source_note)), fast_(std::move(fast)) {}

Conversion::~Conversion() {
  if (transform_ != nullptr) cmsDeleteTransform(transform_);
}

void Conversion::Apply(uint8_t* rgba, size_t pixel_count) const {
  if (transform_ == nullptr) return;
  if (fast_) return fast_->Apply(rgba, pixel_count);
  // In place; the library leaves the fourth byte of each pixel alone. Sliced so that a count above the
  // library's 32-bit one is still converted whole.
  constexpr size_t kSlice = size_t{1} << 30;
  for (size_t done = 0; done < pixel_count; done += kSlice) {
    const size_t count = std::min(kSlice, pixel_count - done);
    cmsDoTransform(transform_, rgba + done * 4, rgba + done * 4, static_cast<cmsUInt32Number>(count));
  }
}

uint32_t Conversion::ApplyArgb(uint32_t argb) const {
  uint8_t pixel[4] = {static_cast<uint8_t>(argb >> 16), static_cast<uint8_t>(argb >> 8), static_cast<uint8_t>(argb),
                      static_cast<uint8_t>(argb >> 24)};
  Apply(pixel, 1);
  return (uint32_t{pixel[3]} << 24) | (uint32_t{pixel[0]} << 16) | (uint32_t{pixel[1]} << 8) | pixel[2];
}

ConversionRef MakeConversion(const Profile& from, const Profile& to, std::string source_note) {
  if (from.digest() == to.digest()) return std::make_shared<Conversion>(nullptr, std::move(source_note));
  // No one-pixel cache: a conversion is shared by threads, and the cache is the only state a transform
  // changes as it runs.
  cmsHTRANSFORM transform = cmsCreateTransform(from.handle(), TYPE_RGBA_8, to.handle(), TYPE_RGBA_8,
                                               INTENT_PERCEPTUAL, cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE);
  if (transform == nullptr) return nullptr;
  if (ChangesNothing(transform)) {
    cmsDeleteTransform(transform);
    return std::make_shared<Conversion>(nullptr, std::move(source_note));
  }
  return std::make_shared<Conversion>(transform, std::move(source_note), FastPathFor(from, to));
}

ColourTransforms::ColourTransforms(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {}

ColourTransforms::~ColourTransforms() = default;

ConversionRef ColourTransforms::Find(const Key& key) {
  std::lock_guard<std::mutex> hold(lock_);
  for (auto it = recent_.begin(); it != recent_.end(); ++it) {
    if (it->first != key) continue;
    recent_.splice(recent_.begin(), recent_, it);
    return recent_.front().second;
  }
  return nullptr;
}

void ColourTransforms::Keep(const Key& key, const ConversionRef& conversion) {
  std::lock_guard<std::mutex> hold(lock_);
  for (const auto& entry : recent_) {
    if (entry.first == key) return;  // another thread made it meanwhile
  }
  recent_.emplace_front(key, conversion);
  if (recent_.size() > capacity_) recent_.pop_back();
}

ConversionRef ColourTransforms::For(const ColourDescription& source, const ProfileRef& output) {
  static const ConversionRef kNothing = std::make_shared<Conversion>();
  if (!output) return kNothing;
  const Key key{DescriptionKey(source), output->digest()};
  if (ConversionRef found = Find(key)) return found;

  // Made outside the lock: a large printer profile takes a while, and other pairs need not wait for it.
  std::string note;
  base::StatusOr<ProfileRef> profile = SourceProfileOf(source);
  ProfileRef from;
  if (profile.ok()) {
    from = *profile;
  } else {
    note = "its colour profile cannot be used (" + profile.status().message() + "), read as sRGB";
    from = SrgbProfile();
  }
  ConversionRef made = from ? MakeConversion(*from, *output, note) : nullptr;
  if (!made && from != SrgbProfile() && SrgbProfile()) {
    note = "no conversion from its colour profile can be built, read as sRGB";
    made = MakeConversion(*SrgbProfile(), *output, note);
  }
  if (!made) made = std::make_shared<Conversion>(nullptr, "no conversion into " + output->name() + " can be built");
  Keep(key, made);
  return made;
}

ConversionRef ColourTransforms::Between(const ProfileRef& from, const ProfileRef& output) {
  static const ConversionRef kNothing = std::make_shared<Conversion>();
  if (!output || !from) return kNothing;
  const Key key{from->digest(), output->digest()};
  if (ConversionRef found = Find(key)) return found;
  ConversionRef made = MakeConversion(*from, *output);
  if (!made) made = kNothing;
  Keep(key, made);
  return made;
}

}  // namespace imaging::colour
