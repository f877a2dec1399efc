// ColourDescription: what a picture file says about the colours of its numbers, as its decoder found it.
//
// The decoders fill it for every format that can say: the embedded ICC profile (JPEG APP2 chunks joined in
// order, PNG iCCP decompressed, TIFF, WebP ICCP, HEIF colr), and for PNG the sRGB chunk and the gAMA and
// cHRM values. A picture whose file says nothing has an empty description and is read as sRGB.
// Plain value; shared by the image core and the colour conversion.
#pragma once

// The image core defines the description beside its decoders; this header stands for it until then.
#if __has_include("imaging/colour_description.h")
#include "imaging/colour_description.h"
#else
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace imaging {

struct ColourDescription {
  std::vector<uint8_t> icc_profile;  // the whole profile as embedded; empty when there is none
  bool srgb_chunk = false;           // PNG sRGB chunk
  std::optional<double> png_gamma;   // PNG gAMA: the file gamma (0.45455 for a 2.2 encoding)
  // PNG cHRM: white x, y, then red, green, blue x, y.
  std::optional<std::array<double, 8>> png_chromaticities;

  bool empty() const { return icc_profile.empty() && !srgb_chunk && !png_gamma && !png_chromaticities; }
};

}  // namespace imaging
#endif
