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

bool ChangesNothing(cmsHTRANSFORM transform) {
  static const std::vector<uint8_t> colours = TestColours();
  std::vector<uint8_t> converted = colours;
  cmsDoTransform(transform, converted.data(), converted.data(), static_cast<cmsUInt32Number>(converted.size() / 4));
  for (size_t i = 0; i < colours.size(); ++i) {
    if (std::abs(int{converted[i]} - int{colours[i]}) > 1) return false;
  }
  return true;
}

}  // namespace

Conversion::Conversion(void* transform, std::string source_note)
    : transform_(transform), source_note_(std::move(source_note)) {}

Conversion::~Conversion() {
  if (transform_ != nullptr) cmsDeleteTransform(transform_);
}

void Conversion::Apply(uint8_t* rgba, size_t pixel_count) const {
  if (transform_ == nullptr) return;
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
    transform = nullptr;
  }
  return std::make_shared<Conversion>(transform, std::move(source_note));
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
