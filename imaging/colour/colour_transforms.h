// Colour conversions of 8-bit RGBA pixels between profiles, made once per pair of spaces and kept.
//
// Every conversion uses perceptual intent with black-point compensation. A conversion between two spaces
// that give the same numbers (the same profile, or two profiles that differ by no more than one level
// anywhere on a test grid, as two makers' sRGB profiles do) changes nothing and is skipped, so a picture
// already in the output space is never converted.
// Thread safety: ColourTransforms may be used from any thread at once (one lock around its table); a
// Conversion is read only and may be applied by several threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>

#include "imaging/colour/colour_description.h"
#include "imaging/colour/colour_profile.h"

namespace imaging::colour {

// Two matrix-and-curves profiles (sRGB, Adobe RGB, Display P3 and most cameras' embedded profiles)
// converted with floats and tables: a few times faster than the library's own 8-bit path, and used only
// where it gives the library's numbers to within one level on the test grid.
struct MatrixShaperPath;

class Conversion {
 public:
  Conversion() = default;  // changes nothing
  Conversion(void* transform, std::string source_note, std::unique_ptr<const MatrixShaperPath> fast = nullptr);
  ~Conversion();
  Conversion(const Conversion&) = delete;
  Conversion& operator=(const Conversion&) = delete;

  // False when the pixels stay as they are.
  bool changes_pixels() const { return transform_ != nullptr; }
  // True when the matrix-and-curves path does the work.
  bool matrix_shaper() const { return fast_ != nullptr; }

  // Why the picture was read as sRGB although it carries a profile ("damaged colour profile"); empty
  // otherwise. Callers log it once per picture.
  const std::string& source_note() const { return source_note_; }

  // Converts `pixel_count` pixels of R, G, B, A (straight alpha) in place; alpha is left as it is.
  void Apply(uint8_t* rgba, size_t pixel_count) const;

  // One colour, 0xAARRGGBB; alpha kept.
  uint32_t ApplyArgb(uint32_t argb) const;

 private:
  void* transform_ = nullptr;
  std::string source_note_;
  std::unique_ptr<const MatrixShaperPath> fast_;
};

using ConversionRef = std::shared_ptr<const Conversion>;

class ColourTransforms {
 public:
  // Keeps up to `capacity` conversions, dropping the one least recently asked for.
  explicit ColourTransforms(size_t capacity = 16);
  ~ColourTransforms();
  ColourTransforms(const ColourTransforms&) = delete;
  ColourTransforms& operator=(const ColourTransforms&) = delete;

  // The conversion of a picture that `source` describes into `output`. Null `output` (the numbers stay as
  // stored) gives a conversion that changes nothing. A picture whose own profile cannot be used is read as
  // sRGB, the conversion's source_note saying why. Never null.
  ConversionRef For(const ColourDescription& source, const ProfileRef& output);

  // The conversion from `from` into `output` (colours given in a known space, such as sRGB border colours).
  ConversionRef Between(const ProfileRef& from, const ProfileRef& output);

 private:
  using Key = std::pair<uint64_t, uint64_t>;
  ConversionRef Find(const Key& key);
  void Keep(const Key& key, const ConversionRef& conversion);

  size_t capacity_;
  std::mutex lock_;
  std::list<std::pair<Key, ConversionRef>> recent_;  // most recently asked for first
};

// The conversion of `from` into `to` built now, without a table: a conversion that changes nothing when
// the two spaces give the same numbers; nothing when no conversion can be built.
ConversionRef MakeConversion(const Profile& from, const Profile& to, std::string source_note = {});

}  // namespace imaging::colour
