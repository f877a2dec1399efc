// Colour profiles over LittleCMS 2: the built-in profiles, checks of profile bytes, a picture's source
// profile.
#include "imaging/colour/colour_profile.h"

#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <optional>
#include <utility>

namespace imaging::colour {
namespace {

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyYTRIPLE kSrgbPrimaries{{0.640, 0.330, 1.0}, {0.300, 0.600, 1.0}, {0.150, 0.060, 1.0}};
constexpr cmsCIExyYTRIPLE kAdobeRgbPrimaries{{0.640, 0.330, 1.0}, {0.210, 0.710, 1.0}, {0.150, 0.060, 1.0}};
// The date every built-in profile states, so that they are the same bytes in every run.
constexpr uint8_t kBuiltInDate[12] = {0x07, 0xE8, 0, 1, 0, 1, 0, 0, 0, 0, 0, 0};  // 2024-01-01 00:00:00

struct ProfileCloser {
  void operator()(void* handle) const {
    if (handle != nullptr) cmsCloseProfile(handle);
  }
};
using ProfileHandle = std::unique_ptr<void, ProfileCloser>;

std::string DescriptionOf(cmsHPROFILE handle) {
  char text[256] = {};
  const cmsUInt32Number size = cmsGetProfileInfoASCII(handle, cmsInfoDescription, "en", "US", text, sizeof text);
  if (size == 0) return "unnamed profile";
  return std::string(text, strnlen(text, sizeof text));
}

bool SetText(cmsHPROFILE handle, cmsTagSignature tag, const char* text) {
  cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
  if (mlu == nullptr) return false;
  const bool ok = cmsMLUsetASCII(mlu, "en", "US", text) && cmsWriteTag(handle, tag, mlu);
  cmsMLUfree(mlu);
  return ok;
}

std::optional<std::vector<uint8_t>> SaveToBytes(cmsHPROFILE handle) {
  cmsUInt32Number size = 0;
  if (!cmsSaveProfileToMem(handle, nullptr, &size) || size == 0) return std::nullopt;
  std::vector<uint8_t> bytes(size);
  if (!cmsSaveProfileToMem(handle, bytes.data(), &size)) return std::nullopt;
  bytes.resize(size);
  return bytes;
}

// A profile made here, given its final bytes: its header dated kBuiltInDate and its profile ID computed
// over that, so that the bytes are the same in every run.
ProfileRef Finish(ProfileHandle made, const char* description) {
  if (!made || !SetText(made.get(), cmsSigProfileDescriptionTag, description) ||
      !SetText(made.get(), cmsSigCopyrightTag, "No copyright, use freely")) {
    return nullptr;
  }
  cmsSetProfileVersion(made.get(), 4.3);
  cmsSetHeaderRenderingIntent(made.get(), INTENT_PERCEPTUAL);
  std::optional<std::vector<uint8_t>> first = SaveToBytes(made.get());
  if (!first || first->size() < 128) return nullptr;
  std::memcpy(first->data() + 24, kBuiltInDate, sizeof kBuiltInDate);
  ProfileHandle dated(cmsOpenProfileFromMem(first->data(), static_cast<cmsUInt32Number>(first->size())));
  if (!dated || !cmsMD5computeID(dated.get())) return nullptr;
  std::optional<std::vector<uint8_t>> bytes = SaveToBytes(dated.get());
  if (!bytes) return nullptr;
  void* handle = dated.release();
  return std::make_shared<Profile>(handle, std::move(*bytes), description);
}

cmsToneCurve* SrgbCurve() {
  // IEC 61966-2-1: linear below 0.04045, else ((v + 0.055) / 1.055)^2.4.
  const cmsFloat64Number parameters[5] = {2.4, 1.0 / 1.055, 0.055 / 1.055, 1.0 / 12.92, 0.04045};
  return cmsBuildParametricToneCurve(nullptr, 4, parameters);
}

ProfileHandle MakeRgb(const cmsCIExyY& white, const cmsCIExyYTRIPLE& primaries, cmsToneCurve* curve) {
  if (curve == nullptr) return nullptr;
  cmsToneCurve* curves[3] = {curve, curve, curve};
  ProfileHandle made(cmsCreateRGBProfile(&white, &primaries, curves));
  cmsFreeToneCurve(curve);
  return made;
}

// Whether a conversion from sRGB into `handle` (or from it into sRGB) can be built: the test every
// profile passes before it is used.
bool Converts(cmsHPROFILE from, cmsHPROFILE to) {
  cmsHTRANSFORM transform = cmsCreateTransform(from, TYPE_RGB_16, to, TYPE_RGB_16, INTENT_PERCEPTUAL,
                                               cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOCACHE);
  if (transform == nullptr) return false;
  cmsDeleteTransform(transform);
  return true;
}

base::StatusOr<ProfileHandle> Open(const std::vector<uint8_t>& icc) {
  if (icc.size() > kMaxProfileBytes) return base::Status::TooLarge("colour profile of " + std::to_string(icc.size()) + " bytes");
  // The header alone is 128 bytes; the library checks the stated size and the tag table against the data.
  if (icc.size() < 132) return base::Status::Corrupt("not an ICC profile");
  ProfileHandle handle(cmsOpenProfileFromMem(icc.data(), static_cast<cmsUInt32Number>(icc.size())));
  if (!handle) return base::Status::Corrupt("not an ICC profile");
  return handle;
}

bool NearSrgb(const ColourDescription& d) {
  // Writers of sRGB PNGs without an sRGB chunk state gamma 1/2.2 (45455), often with sRGB's chromaticities.
  if (d.png_gamma && std::abs(*d.png_gamma - 1.0 / 2.2) > 0.0025) return false;
  if (d.png_chromaticities) {
    const std::array<double, 8> srgb = {0.3127, 0.3290, 0.64, 0.33, 0.30, 0.60, 0.15, 0.06};
    for (size_t i = 0; i < srgb.size(); ++i) {
      if (std::abs((*d.png_chromaticities)[i] - srgb[i]) > 0.005) return false;
    }
  }
  return true;
}

bool UsableGamma(const std::optional<double>& gamma) { return gamma && *gamma > 0.01 && *gamma < 10.0; }

bool UsableChromaticities(const std::optional<std::array<double, 8>>& c) {
  if (!c) return false;
  for (size_t i = 0; i < c->size(); i += 2) {
    const double x = (*c)[i], y = (*c)[i + 1];
    if (!(x > 0 && x < 1 && y > 0 && y < 1 && x + y <= 1)) return false;
  }
  return true;
}

// A PNG's gAMA / cHRM as a profile; nothing when they describe sRGB or are unusable.
ProfileRef ProfileFromPngValues(const ColourDescription& d) {
  const bool gamma = UsableGamma(d.png_gamma);
  const bool chromaticities = UsableChromaticities(d.png_chromaticities);
  if ((!gamma && !chromaticities) || NearSrgb(d)) return nullptr;
  cmsCIExyY white = kD65;
  cmsCIExyYTRIPLE primaries = kSrgbPrimaries;
  if (chromaticities) {
    const std::array<double, 8>& c = *d.png_chromaticities;
    white = {c[0], c[1], 1.0};
    primaries = {{c[2], c[3], 1.0}, {c[4], c[5], 1.0}, {c[6], c[7], 1.0}};
  }
  // gAMA states the encoding exponent: the numbers are linear light raised to it.
  cmsToneCurve* curve = gamma ? cmsBuildGamma(nullptr, 1.0 / *d.png_gamma) : SrgbCurve();
  ProfileHandle made = MakeRgb(white, primaries, curve);
  if (!made) return nullptr;
  std::optional<std::vector<uint8_t>> bytes = SaveToBytes(made.get());
  if (!bytes) return nullptr;
  void* handle = made.release();
  return std::make_shared<Profile>(handle, std::move(*bytes), "PNG gamma and chromaticities");
}

}  // namespace

uint64_t Digest(const uint8_t* bytes, size_t size) {
  uint64_t hash = 14695981039346656037ull;
  for (size_t i = 0; i < size; ++i) hash = (hash ^ bytes[i]) * 1099511628211ull;
  return hash;
}

Profile::Profile(void* handle, std::vector<uint8_t> icc, std::string name)
    : handle_(handle), icc_(std::move(icc)), name_(std::move(name)), digest_(Digest(icc_.data(), icc_.size())) {}

Profile::~Profile() { ProfileCloser()(handle_); }

ProfileRef SrgbProfile() {
  static const ProfileRef profile = Finish(MakeRgb(kD65, kSrgbPrimaries, SrgbCurve()), "sRGB IEC61966-2.1");
  return profile;
}

ProfileRef AdobeRgbProfile() {
  static const ProfileRef profile =
      Finish(MakeRgb(kD65, kAdobeRgbPrimaries, cmsBuildGamma(nullptr, 563.0 / 256.0)), "Adobe RGB (1998)");
  return profile;
}

base::StatusOr<ProfileRef> OutputProfileFromIcc(std::vector<uint8_t> icc) {
  base::StatusOr<ProfileHandle> opened = Open(icc);
  if (!opened.ok()) return opened.status();
  ProfileHandle handle = std::move(opened).value();
  const cmsProfileClassSignature kind = cmsGetDeviceClass(handle.get());
  if (cmsGetColorSpace(handle.get()) != cmsSigRgbData) return base::Status::Unsupported("not an RGB profile");
  if (kind != cmsSigOutputClass && kind != cmsSigDisplayClass && kind != cmsSigColorSpaceClass) {
    return base::Status::Unsupported("not an output profile");
  }
  const ProfileRef srgb = SrgbProfile();
  if (!srgb || !Converts(srgb->handle(), handle.get())) {
    return base::Status::Unsupported("no conversion into it can be built");
  }
  std::string name = DescriptionOf(handle.get());
  void* raw = handle.release();
  return ProfileRef(std::make_shared<Profile>(raw, std::move(icc), std::move(name)));
}

base::StatusOr<ProfileRef> SourceProfileOf(const ColourDescription& description) {
  if (description.icc_profile.empty()) {
    if (!description.srgb_chunk) {
      if (ProfileRef built = ProfileFromPngValues(description)) return built;
    }
    return SrgbProfile();
  }
  base::StatusOr<ProfileHandle> opened = Open(description.icc_profile);
  if (!opened.ok()) return opened.status();
  ProfileHandle handle = std::move(opened).value();
  // Grey and CMYK profiles describe numbers the decoders have already turned into RGB.
  if (cmsGetColorSpace(handle.get()) != cmsSigRgbData) return base::Status::Unsupported("not an RGB profile");
  const cmsProfileClassSignature kind = cmsGetDeviceClass(handle.get());
  if (kind == cmsSigLinkClass || kind == cmsSigAbstractClass || kind == cmsSigNamedColorClass) {
    return base::Status::Unsupported("not a device profile");
  }
  const ProfileRef srgb = SrgbProfile();
  if (!srgb || !Converts(handle.get(), srgb->handle())) {
    return base::Status::Unsupported("no conversion from it can be built");
  }
  std::string name = DescriptionOf(handle.get());
  void* raw = handle.release();
  return ProfileRef(std::make_shared<Profile>(raw, description.icc_profile, std::move(name)));
}

uint64_t DescriptionKey(const ColourDescription& d) {
  if (!d.icc_profile.empty()) return Digest(d.icc_profile.data(), d.icc_profile.size());
  const bool built = !d.srgb_chunk && (UsableGamma(d.png_gamma) || UsableChromaticities(d.png_chromaticities)) &&
                     !NearSrgb(d);
  if (!built) {
    const ProfileRef srgb = SrgbProfile();
    return srgb ? srgb->digest() : 0;
  }
  // The values themselves: a key no profile's bytes give (the leading byte is not a profile size's).
  std::vector<uint8_t> bytes(1, 0xFF);
  const auto add = [&bytes](double value) {
    uint8_t raw[sizeof value];
    std::memcpy(raw, &value, sizeof value);
    bytes.insert(bytes.end(), raw, raw + sizeof value);
  };
  add(UsableGamma(d.png_gamma) ? *d.png_gamma : 0.0);
  if (UsableChromaticities(d.png_chromaticities)) {
    for (double v : *d.png_chromaticities) add(v);
  }
  return Digest(bytes.data(), bytes.size());
}

}  // namespace imaging::colour
