// The colour-profile selection put to work in the application: the value the grid job file carries, the
// output space of a bake, a sheet or a print (a custom profile read through the FileSystem port), and
// pictures converted into it (tools common to the printing and insight families).
//
// Pictures are converted once, right after they are decoded and reduced, before anything is drawn over
// them (effects, borders, frames), so that what is drawn is in the output space as designed.
// Thread safety: re-entrant; the conversion table states its own.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "imaging/colour/colour_description.h"
#include "imaging/colour/colour_transforms.h"
#include "imaging/colour/output_space.h"
#include "imaging/bitmap.h"

namespace platform {
class FileSystem;
}

namespace runner {

// The grid job's "colorProfile" value for a stored selection: "srgb", "adobe_rgb", "no_conversion" or
// "custom:<path>".
std::string ColourJobValue(std::string_view selection);

// The output space of `choice`, a custom profile read through `files` (null: cannot be read). A custom
// profile that cannot be used gives sRGB after one "ERROR: " line naming the profile and why.
imaging::colour::OutputSpace OutputSpaceOf(const imaging::colour::OutputChoice& choice, platform::FileSystem* files);

// Converts `picture` from the space `source` describes into `output` (nothing when output has no
// profile). A picture whose own profile cannot be used is read as sRGB after one "INFO: <what>: ..." line.
void ConvertPicture(imaging::Bitmap& picture, const imaging::ColourDescription& source,
                    const imaging::colour::OutputSpace& output, imaging::colour::ColourTransforms& transforms,
                    std::string_view what);

// `argb` (a colour chosen on screen, in sRGB) in the output space.
uint32_t OutputColour(uint32_t argb, const imaging::colour::OutputSpace& output,
                      imaging::colour::ColourTransforms& transforms);

// Puts the output space's profile into the encoded JPEG `*jpeg` (nothing when output has no profile).
void CarryProfile(std::vector<uint8_t>* jpeg, const imaging::colour::OutputSpace& output);

}  // namespace runner
