// Colour profiles, conversions, output spaces and the ICC profile inside a JPEG file.
#include <gtest/gtest.h>
#include <lcms2.h>

#include <cmath>
#include <cstring>
#include <thread>

#include "imaging/colour/colour_profile.h"
#include "imaging/colour/colour_transforms.h"
#include "imaging/colour/jpeg_icc.h"
#include "imaging/colour/output_space.h"

namespace imaging::colour {
namespace {

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};
constexpr cmsCIExyYTRIPLE kP3{{0.680, 0.320, 1.0}, {0.265, 0.690, 1.0}, {0.150, 0.060, 1.0}};

// A matrix-and-curve RGB profile with P3's primaries and a plain gamma, of the given device class.
std::vector<uint8_t> MakeProfile(double gamma, cmsProfileClassSignature device_class = cmsSigDisplayClass) {
  cmsToneCurve* curve = cmsBuildGamma(nullptr, gamma);
  cmsToneCurve* curves[3] = {curve, curve, curve};
  cmsHPROFILE profile = cmsCreateRGBProfile(&kD65, &kP3, curves);
  cmsFreeToneCurve(curve);
  cmsSetDeviceClass(profile, device_class);
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

std::vector<uint8_t> SaveProfile(cmsHPROFILE profile) {
  cmsUInt32Number size = 0;
  cmsSaveProfileToMem(profile, nullptr, &size);
  std::vector<uint8_t> bytes(size);
  cmsSaveProfileToMem(profile, bytes.data(), &size);
  cmsCloseProfile(profile);
  return bytes;
}

ColourDescription Tagged(std::vector<uint8_t> icc) {
  ColourDescription d;
  d.icc_profile = std::move(icc);
  return d;
}

// Adobe RGB (1998) to sRGB by their published D65 matrices, as a check made without any profile.
std::array<double, 3> AdobeToSrgbByMatrices(std::array<int, 3> adobe) {
  double lin[3];
  for (int i = 0; i < 3; ++i) lin[i] = std::pow(adobe[i] / 255.0, 563.0 / 256.0);
  const double x = 0.5767309 * lin[0] + 0.1855540 * lin[1] + 0.1881852 * lin[2];
  const double y = 0.2973769 * lin[0] + 0.6273491 * lin[1] + 0.0752741 * lin[2];
  const double z = 0.0270343 * lin[0] + 0.0706872 * lin[1] + 0.9911085 * lin[2];
  const double rgb[3] = {3.2404542 * x - 1.5371385 * y - 0.4985314 * z, -0.9692660 * x + 1.8760108 * y + 0.0415560 * z,
                         0.0556434 * x - 0.2040259 * y + 1.0572252 * z};
  std::array<double, 3> out{};
  for (int i = 0; i < 3; ++i) {
    const double v = rgb[i] <= 0.0031308 ? 12.92 * rgb[i] : 1.055 * std::pow(rgb[i], 1 / 2.4) - 0.055;
    out[i] = v * 255.0;
  }
  return out;
}

TEST(BuiltInProfiles, AreCompactStableAndAgreeWithThePublishedAdobeRgbMatrices) {
  ASSERT_TRUE(SrgbProfile() && AdobeRgbProfile());
  EXPECT_LT(SrgbProfile()->icc().size(), 1024u);
  EXPECT_EQ(SrgbProfile(), SrgbProfile());
  EXPECT_NE(SrgbProfile()->digest(), AdobeRgbProfile()->digest());
  EXPECT_EQ(AdobeRgbProfile()->name(), "Adobe RGB (1998)");
  // The bytes they carry read back as usable output profiles.
  EXPECT_TRUE(OutputProfileFromIcc(SrgbProfile()->icc()).ok());
  EXPECT_TRUE(OutputProfileFromIcc(AdobeRgbProfile()->icc()).ok());

  ColourTransforms transforms;
  const ConversionRef conversion = transforms.Between(AdobeRgbProfile(), SrgbProfile());
  ASSERT_TRUE(conversion->changes_pixels());
  for (const std::array<int, 3> adobe : {std::array<int, 3>{128, 128, 128}, {200, 120, 90}, {130, 140, 120}, {180, 90, 100},
                                         {110, 150, 120}, {240, 230, 210}, {20, 30, 25}}) {
    uint8_t pixel[4] = {uint8_t(adobe[0]), uint8_t(adobe[1]), uint8_t(adobe[2]), 77};
    conversion->Apply(pixel, 1);
    const std::array<double, 3> expected = AdobeToSrgbByMatrices(adobe);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(pixel[i], expected[i], 1.0) << adobe[0] << "," << adobe[1] << " ch " << i;
    EXPECT_EQ(pixel[3], 77);  // alpha as it was
  }
}

TEST(OutputProfiles, RefuseWhatCannotBeAnRgbOutputProfile) {
  EXPECT_TRUE(OutputProfileFromIcc({}).status().Is(base::Status::Code::kCorrupt));
  EXPECT_TRUE(OutputProfileFromIcc(std::vector<uint8_t>(4000, 0x41)).status().Is(base::Status::Code::kCorrupt));
  std::vector<uint8_t> truncated = MakeProfile(2.2, cmsSigOutputClass);
  truncated.resize(truncated.size() / 2);
  EXPECT_FALSE(OutputProfileFromIcc(truncated).ok());
  EXPECT_TRUE(OutputProfileFromIcc(MakeProfile(2.2, cmsSigInputClass)).status().Is(base::Status::Code::kUnsupported));
  cmsToneCurve* curve = cmsBuildGamma(nullptr, 2.2);
  const std::vector<uint8_t> grey = SaveProfile(cmsCreateGrayProfile(cmsD50_xyY(), curve));
  cmsFreeToneCurve(curve);
  EXPECT_TRUE(OutputProfileFromIcc(grey).status().Is(base::Status::Code::kUnsupported));
  EXPECT_TRUE(OutputProfileFromIcc(std::vector<uint8_t>(kMaxProfileBytes + 1)).status().Is(base::Status::Code::kTooLarge));

  // (One profile's bytes: a profile made a second later carries another creation time.)
  const std::vector<uint8_t> printer_icc = MakeProfile(1.8, cmsSigOutputClass);
  const base::StatusOr<ProfileRef> printer = OutputProfileFromIcc(printer_icc);
  ASSERT_TRUE(printer.ok());
  EXPECT_EQ((*printer)->icc(), printer_icc);
}

TEST(SourceProfiles, FollowTheEmbeddedProfileThenThePngChunks) {
  ColourTransforms transforms;
  const ProfileRef srgb = SrgbProfile();
  // Nothing said, an sRGB chunk, or gamma 1/2.2 with sRGB's chromaticities: sRGB, left alone.
  ColourDescription plain, chunk, gamma_22;
  chunk.srgb_chunk = true;
  gamma_22.png_gamma = 0.45455;
  gamma_22.png_chromaticities = std::array<double, 8>{0.3127, 0.329, 0.64, 0.33, 0.3, 0.6, 0.15, 0.06};
  for (const ColourDescription* d : {&plain, &chunk, &gamma_22}) EXPECT_FALSE(transforms.For(*d, srgb)->changes_pixels());
  // Another maker's sRGB profile (other bytes, the same numbers) is left alone too.
  EXPECT_FALSE(transforms.For(Tagged(SaveProfile(cmsCreate_sRGBProfile())), srgb)->changes_pixels());

  // Linear PNG numbers: a mid grey of 128 is light (about 188 in sRGB).
  ColourDescription linear;
  linear.png_gamma = 1.0;
  uint8_t grey[4] = {128, 128, 128, 255};
  transforms.For(linear, srgb)->Apply(grey, 1);
  EXPECT_NEAR(grey[0], 188, 1);

  // A damaged embedded profile: read as sRGB, with a note.
  std::vector<uint8_t> damaged = MakeProfile(2.2);
  damaged.resize(200);
  const ConversionRef read_as_srgb = transforms.For(Tagged(damaged), srgb);
  EXPECT_FALSE(read_as_srgb->changes_pixels());
  EXPECT_NE(read_as_srgb->source_note().find("read as sRGB"), std::string::npos);

  // A P3 photo into sRGB: its saturated red is redder than sRGB's own 255, so it stays 255 and loses green.
  // (One profile tagged twice: a profile made a second later carries another creation time.)
  const std::vector<uint8_t> p3_profile = MakeProfile(2.2);
  const ConversionRef p3 = transforms.For(Tagged(p3_profile), srgb);
  EXPECT_TRUE(p3->changes_pixels());
  EXPECT_EQ(p3, transforms.For(Tagged(p3_profile), srgb));  // made once, kept
  uint8_t red[8] = {255, 0, 0, 10, 128, 128, 128, 200};
  p3->Apply(red, 2);
  EXPECT_EQ(red[0], 255);
  EXPECT_EQ(red[3], 10);
  EXPECT_EQ(red[7], 200);
}

TEST(Conversions, ConvertingIntoTheSameSpaceChangesNothingAndSharedUseIsSafe) {
  ColourTransforms transforms(2);
  EXPECT_FALSE(transforms.For(Tagged(AdobeRgbProfile()->icc()), AdobeRgbProfile())->changes_pixels());
  EXPECT_FALSE(transforms.For(Tagged(MakeProfile(2.2)), nullptr)->changes_pixels());
  const ConversionRef into_adobe = transforms.Between(SrgbProfile(), AdobeRgbProfile());
  // sRGB's pure green is well inside Adobe RGB: less green, some red and blue.
  const uint32_t green = into_adobe->ApplyArgb(0xFF00FF00);
  EXPECT_EQ(green >> 24, 0xFFu);
  EXPECT_NEAR(int((green >> 16) & 0xFF), 144, 2);
  EXPECT_NEAR(int((green >> 8) & 0xFF), 255, 1);
  EXPECT_NEAR(int(green & 0xFF), 60, 2);

  // Four threads apply one conversion to copies of one block: every copy comes out the same.
  std::vector<uint8_t> block(4 * 4096);
  for (size_t i = 0; i < block.size(); ++i) block[i] = uint8_t(i * 37);
  std::vector<std::vector<uint8_t>> copies(4, block);
  std::vector<std::thread> threads;
  for (auto& copy : copies) threads.emplace_back([&] { into_adobe->Apply(copy.data(), copy.size() / 4); });
  for (auto& t : threads) t.join();
  for (const auto& copy : copies) EXPECT_EQ(copy, copies[0]);
  EXPECT_NE(copies[0], block);
}

TEST(Conversions, TheMatrixAndCurvesPathGivesTheLibrarysNumbers) {
  cmsHPROFILE srgb = cmsCreate_sRGBProfile();
  const std::vector<uint8_t> p3 = MakeProfile(2.2);
  cmsHPROFILE p3_handle = cmsOpenProfileFromMem(p3.data(), cmsUInt32Number(p3.size()));
  const std::vector<uint8_t> adobe = AdobeRgbProfile()->icc();
  cmsHPROFILE adobe_handle = cmsOpenProfileFromMem(adobe.data(), cmsUInt32Number(adobe.size()));
  ColourTransforms transforms;
  struct Pair {
    ConversionRef conversion;
    cmsHPROFILE from, to;
  };
  const Pair pairs[] = {{transforms.For(Tagged(adobe), SrgbProfile()), adobe_handle, srgb},
                        {transforms.Between(SrgbProfile(), AdobeRgbProfile()), srgb, adobe_handle},
                        {transforms.For(Tagged(p3), SrgbProfile()), p3_handle, srgb}};
  std::vector<uint8_t> colours;
  for (int r = 0; r < 256; r += 3) {
    for (int g = 0; g < 256; g += 3) {
      for (int b = 0; b < 256; b += 3) colours.insert(colours.end(), {uint8_t(r), uint8_t(g), uint8_t(b), 255});
    }
  }
  for (const Pair& pair : pairs) {
    ASSERT_TRUE(pair.conversion->matrix_shaper());
    // The library without its optimisations, in floating point: the reference.
    cmsHTRANSFORM reference = cmsCreateTransform(pair.from, TYPE_RGBA_8, pair.to, TYPE_RGBA_8, INTENT_PERCEPTUAL,
                                                 cmsFLAGS_BLACKPOINTCOMPENSATION | cmsFLAGS_NOOPTIMIZE);
    std::vector<uint8_t> fast = colours, slow = colours;
    pair.conversion->Apply(fast.data(), fast.size() / 4);
    cmsDoTransform(reference, slow.data(), slow.data(), cmsUInt32Number(slow.size() / 4));
    cmsDeleteTransform(reference);
    int worst = 0;
    for (size_t i = 0; i < fast.size(); ++i) worst = std::max(worst, std::abs(int(fast[i]) - int(slow[i])));
    // Two levels at most, and only where a channel is next to nothing in a space of gamma 1/2.2, whose
    // steep start magnifies the profiles' own rounding (sRGB's red into Adobe RGB: green 0 or 2).
    EXPECT_LE(worst, 2) << (&pair - pairs);
  }
  cmsCloseProfile(srgb);
  cmsCloseProfile(p3_handle);
  cmsCloseProfile(adobe_handle);
}

TEST(OutputSpaces, SelectionsAndJobValues) {
  EXPECT_EQ(OutputChoiceFromSelection("srgb").kind, OutputKind::kSrgb);
  EXPECT_EQ(OutputChoiceFromSelection("abc").kind, OutputKind::kSrgb);
  EXPECT_EQ(OutputChoiceFromSelection("").kind, OutputKind::kSrgb);
  EXPECT_EQ(OutputChoiceFromSelection("no_conversion").kind, OutputKind::kAsStored);
  EXPECT_EQ(OutputChoiceFromSelection("adobe_rgb").kind, OutputKind::kAdobeRgb);
  EXPECT_EQ(OutputChoiceFromSelection("custom:/p/Printer.icc"), (OutputChoice{OutputKind::kCustom, "/p/Printer.icc"}));
  EXPECT_EQ(OutputChoiceFromSelection("custom"), (OutputChoice{OutputKind::kCustom, ""}));
  EXPECT_EQ(OutputChoiceFromJobValue("").kind, OutputKind::kAsStored);
  for (const char* selection : {"srgb", "adobe_rgb", "no_conversion", "custom:/p/a b.icc", "custom:"}) {
    const OutputChoice choice = OutputChoiceFromSelection(selection);
    EXPECT_EQ(OutputJobValue(choice), selection);
    EXPECT_EQ(OutputChoiceFromJobValue(OutputJobValue(choice)), choice);
  }
  EXPECT_EQ(OutputJobValue(OutputChoiceFromSelection("abc")), "srgb");
}

TEST(OutputSpaces, ACustomProfileThatCannotBeUsedFallsBackToSrgbWithANote) {
  EXPECT_EQ(ResolveOutputSpace({OutputKind::kAsStored, {}}, nullptr).profile, nullptr);
  EXPECT_EQ(ResolveOutputSpace({OutputKind::kAdobeRgb, {}}, nullptr).profile, AdobeRgbProfile());
  const std::vector<uint8_t> printer = MakeProfile(1.8, cmsSigOutputClass);
  const ProfileFileReader read = [&](const std::string& path) -> base::StatusOr<std::vector<uint8_t>> {
    if (path == "/p/good.icc") return printer;
    if (path == "/p/camera.icc") return MakeProfile(1.8, cmsSigInputClass);
    return base::Status::NotFound(path);
  };
  const OutputSpace good = ResolveOutputSpace({OutputKind::kCustom, "/p/good.icc"}, read);
  ASSERT_TRUE(good.profile);
  EXPECT_EQ(good.profile->icc(), printer);
  EXPECT_TRUE(good.fallback_note.empty());
  for (const char* path : {"/p/missing.icc", "/p/camera.icc", ""}) {
    const OutputSpace fallback = ResolveOutputSpace({OutputKind::kCustom, path}, read);
    EXPECT_EQ(fallback.profile, SrgbProfile()) << path;
    EXPECT_NE(fallback.fallback_note.find("converting to sRGB"), std::string::npos) << fallback.fallback_note;
  }
}

// The chunks of every APP2 ICC segment of `jpeg`, joined in order.
std::vector<uint8_t> JoinedIcc(const std::vector<uint8_t>& jpeg, int* chunks) {
  std::vector<uint8_t> icc;
  *chunks = 0;
  for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at] == 0xFF && jpeg[at + 1] != 0xDA;) {
    const size_t length = (size_t{jpeg[at + 2]} << 8) | jpeg[at + 3];
    if (jpeg[at + 1] == 0xE2 && std::memcmp(&jpeg[at + 4], "ICC_PROFILE", 12) == 0) {
      EXPECT_EQ(jpeg[at + 16], *chunks + 1);
      ++*chunks;
      icc.insert(icc.end(), jpeg.begin() + at + 18, jpeg.begin() + at + 2 + length);
    }
    at += 2 + length;
  }
  return icc;
}

TEST(JpegIcc, ProfilesGoAfterTheLeadingSegmentsInNumberedChunks) {
  // SOI, a JFIF APP0, then a quantisation table segment: the profile goes between APP0 and DQT.
  const std::vector<uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0, 6, 'J', 'F', 'I', 'F', 0xFF, 0xDB, 0, 3, 9, 0xFF, 0xD9};
  std::vector<uint8_t> small = jpeg;
  ASSERT_TRUE(EmbedIccProfile(&small, SrgbProfile()->icc()));
  EXPECT_EQ(small[10], 0xFF);
  EXPECT_EQ(small[11], 0xE2);
  int chunks = 0;
  EXPECT_EQ(JoinedIcc(small, &chunks), SrgbProfile()->icc());
  EXPECT_EQ(chunks, 1);
  EXPECT_TRUE(std::equal(jpeg.begin() + 10, jpeg.end(), small.end() - 7));

  std::vector<uint8_t> large_icc(150000);
  for (size_t i = 0; i < large_icc.size(); ++i) large_icc[i] = uint8_t(i * 7);
  std::vector<uint8_t> large = jpeg;
  ASSERT_TRUE(EmbedIccProfile(&large, large_icc));
  EXPECT_EQ(JoinedIcc(large, &chunks), large_icc);
  EXPECT_EQ(chunks, 3);

  std::vector<uint8_t> not_jpeg = {0x89, 'P', 'N', 'G'};
  EXPECT_FALSE(EmbedIccProfile(&not_jpeg, SrgbProfile()->icc()));
  std::vector<uint8_t> cut = {0xFF, 0xD8, 0xFF, 0xE0, 0, 60, 'J'};
  EXPECT_FALSE(EmbedIccProfile(&cut, SrgbProfile()->icc()));
  EXPECT_EQ(cut.size(), 7u);
  std::vector<uint8_t> too_large = jpeg;
  EXPECT_FALSE(EmbedIccProfile(&too_large, std::vector<uint8_t>(256 * 65519)));
}

}  // namespace
}  // namespace imaging::colour
