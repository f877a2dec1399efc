// ColourDescription: what a picture file says about the colours of its pixels, as the decoders found it.
// The core only carries it; converting colours is the colour code's business.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace imaging {

struct ColourDescription {
  // The embedded ICC profile, as stored: a JPEG's APP2 "ICC_PROFILE" chunks joined in their sequence
  // order, a PNG's iCCP decompressed, a TIFF's ICC tag, a WebP's ICCP chunk, a HEIF's colr box of type
  // prof or rICC. Empty when the file has none (or its chunks do not join up).
  std::vector<uint8_t> icc_profile;
  // PNG only: an sRGB chunk is present.
  bool srgb_chunk = false;
  // PNG only: the gAMA value (file gamma, e.g. 0.45455), and the cHRM values in the order white x, y,
  // red x, y, green x, y, blue x, y.
  std::optional<double> png_gamma;
  std::optional<std::array<double, 8>> png_chromaticities;

  bool empty() const { return icc_profile.empty() && !srgb_chunk && !png_gamma && !png_chromaticities; }
};

}  // namespace imaging
