// The output space of a colour-profile selection.
#include "imaging/colour/output_space.h"

namespace imaging::colour {
namespace {

constexpr std::string_view kCustomPrefix = "custom:";

}  // namespace

OutputChoice OutputChoiceFromSelection(std::string_view selection) {
  if (selection == "no_conversion") return {OutputKind::kAsStored, {}};
  if (selection == "adobe_rgb") return {OutputKind::kAdobeRgb, {}};
  // "custom" alone is the list's entry for a profile file not yet chosen.
  if (selection == "custom") return {OutputKind::kCustom, {}};
  if (selection.substr(0, kCustomPrefix.size()) == kCustomPrefix) {
    return {OutputKind::kCustom, std::string(selection.substr(kCustomPrefix.size()))};
  }
  return {OutputKind::kSrgb, {}};
}

OutputChoice OutputChoiceFromJobValue(std::string_view value) {
  if (value.empty()) return {OutputKind::kAsStored, {}};
  return OutputChoiceFromSelection(value);
}

std::string OutputJobValue(const OutputChoice& choice) {
  switch (choice.kind) {
    case OutputKind::kAsStored:
      return "no_conversion";
    case OutputKind::kAdobeRgb:
      return "adobe_rgb";
    case OutputKind::kCustom:
      return std::string(kCustomPrefix) + choice.custom_path;
    case OutputKind::kSrgb:
      break;
  }
  return "srgb";
}

OutputSpace ResolveOutputSpace(const OutputChoice& choice, const ProfileFileReader& read) {
  switch (choice.kind) {
    case OutputKind::kAsStored:
      return {};
    case OutputKind::kSrgb:
      return {SrgbProfile(), {}};
    case OutputKind::kAdobeRgb:
      return {AdobeRgbProfile(), {}};
    case OutputKind::kCustom:
      break;
  }
  const std::string& path = choice.custom_path;
  std::string problem;
  if (path.empty()) {
    problem = "no profile file chosen";
  } else if (!read) {
    problem = path + ": cannot be read";
  } else {
    base::StatusOr<std::vector<uint8_t>> bytes = read(path);
    if (!bytes.ok()) {
      problem = path + ": " + bytes.status().ToString();
    } else {
      base::StatusOr<ProfileRef> profile = OutputProfileFromIcc(std::move(bytes).value());
      if (profile.ok()) return {*profile, {}};
      problem = path + ": " + profile.status().ToString();
    }
  }
  return {SrgbProfile(), "custom colour profile unusable (" + problem + "), converting to sRGB"};
}

}  // namespace imaging::colour
