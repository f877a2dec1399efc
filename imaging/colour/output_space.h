// The output space: what the user's colour-profile selection makes of every sheet, bake and printed page.
//
//   "srgb" (and any text not listed below)  converted into sRGB; outputs carry the sRGB profile
//   "adobe_rgb"                             converted into Adobe RGB (1998); outputs carry it
//   "no_conversion"                         the numbers as stored; outputs carry no profile
//   "custom:<path>"                         converted into the ICC profile at <path> (a printer and paper
//                                           profile); outputs carry it. A profile that cannot be read or
//                                           is not an RGB output profile gives sRGB, with a note to log.
// The grid job file carries the choice as OutputJobValue writes it; a job without it (or with an empty
// value) keeps its numbers as stored, as jobs written before the choice existed did.
// Thread safety: plain values and re-entrant functions.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/status.h"
#include "imaging/colour/colour_profile.h"

namespace imaging::colour {

enum class OutputKind { kAsStored, kSrgb, kAdobeRgb, kCustom };

struct OutputChoice {
  OutputKind kind = OutputKind::kSrgb;
  std::string custom_path;  // kCustom: the profile file; may be empty (no file chosen)

  bool operator==(const OutputChoice&) const = default;
};

// The choice a stored selection makes (the rules above).
OutputChoice OutputChoiceFromSelection(std::string_view selection);

// The choice a grid job's value makes: empty = kAsStored, anything else as a selection.
OutputChoice OutputChoiceFromJobValue(std::string_view value);

// The job file's value of `choice`: "srgb", "adobe_rgb", "no_conversion" or "custom:<path>".
std::string OutputJobValue(const OutputChoice& choice);

// Reads a profile file whole (at most kMaxProfileBytes); each program passes its own file access.
using ProfileFileReader = std::function<base::StatusOr<std::vector<uint8_t>>(const std::string& path)>;

struct OutputSpace {
  ProfileRef profile;        // null: the numbers stay as stored and outputs carry no profile
  std::string fallback_note; // set when a custom profile could not be used and sRGB stands instead
};

// The profile outputs of `choice` are converted into. A custom profile is read through `read`.
OutputSpace ResolveOutputSpace(const OutputChoice& choice, const ProfileFileReader& read);

}  // namespace imaging::colour
