// The sheets' colour: the output space a job's colorProfile names, the conversions into it, and the
// profile the sheets carry.
//
// Photos and frames are converted once, at their magnet's size (the fewest pixels they have), before the
// effects, border, frame and cut lines are applied over them, so that those look as designed. A job
// without colorProfile keeps the photos' numbers as stored and writes no profile.
// Thread safety: set up before the workers start; then read only (the conversion table is shared safely).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "helper/grid_job.h"
#include "imaging/bitmap.h"
#include "helper/sheet_geometry.h"
#include "imaging/colour/colour_description.h"
#include "imaging/colour/colour_transforms.h"
#include "imaging/colour/output_space.h"

namespace mosalith {

struct SheetColour {
  imaging::colour::OutputSpace output;   // null profile: the numbers as stored
  std::vector<uint8_t> icc_segments;     // the profile as the sheets' JPEG segments; empty: none
  std::unique_ptr<imaging::colour::ColourTransforms> transforms;
};

// The colour of `job`'s sheets. A custom profile is read here (a file that cannot be read, or is not an
// RGB output profile, gives sRGB after one "Mosalith: " line).
SheetColour SheetColourOf(const GridJob& job);

// Converts `pixels` from the space `source` describes into the sheets' space (nothing when the numbers
// stay as stored). A picture whose own profile cannot be used is read as sRGB after one "Mosalith: " line
// naming `path`.
void ConvertToSheet(imaging::Bitmap& pixels, const imaging::ColourDescription& source, const SheetColour& colour,
                    const std::string& path);

// A colour given in sRGB (cut lines) in the sheets' space.
Rgb SheetRgb(Rgb colour, const SheetColour& sheet);

}  // namespace mosalith
