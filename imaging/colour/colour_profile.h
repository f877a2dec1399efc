// Colour profiles: the built-in output profiles (a compact sRGB, Adobe RGB (1998)), profiles read from
// ICC bytes and checked for the role they are to play, and the profile a picture's numbers are in.
//
// Profiles are immutable and shared (ProfileRef); two profiles are the same space when their ICC bytes are
// the same (digest). The built-in profiles are made once per process, with fixed header dates, so that
// every output that carries one carries the same bytes.
// Thread safety: every function may be called from any thread; a Profile is read only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/status.h"
#include "imaging/colour/colour_description.h"

namespace imaging::colour {

// Profile files and embedded profiles larger than this are refused (printer profiles with large tables
// stay well below it).
inline constexpr size_t kMaxProfileBytes = size_t{32} << 20;

class Profile {
 public:
  Profile(void* handle, std::vector<uint8_t> icc, std::string name);
  ~Profile();
  Profile(const Profile&) = delete;
  Profile& operator=(const Profile&) = delete;

  const std::vector<uint8_t>& icc() const { return icc_; }  // what outputs in this space carry
  const std::string& name() const { return name_; }         // its description, for log lines
  uint64_t digest() const { return digest_; }               // equal digests: the same profile
  void* handle() const { return handle_; }                  // the colour library's own handle

 private:
  void* handle_;
  std::vector<uint8_t> icc_;
  std::string name_;
  uint64_t digest_;
};

using ProfileRef = std::shared_ptr<const Profile>;

// The sRGB profile outputs carry (a few hundred bytes: parametric curves).
ProfileRef SrgbProfile();

// Adobe RGB (1998), built from its published primaries, D65 white point and gamma 563/256.
ProfileRef AdobeRgbProfile();

// A profile to convert pictures into, from the bytes of a profile file. kTooLarge above
// kMaxProfileBytes; kCorrupt when the bytes are not an ICC profile; kUnsupported when it is not an RGB
// output profile (device class printer, display or colour space; RGB data; a conversion from sRGB into it
// can be built).
base::StatusOr<ProfileRef> OutputProfileFromIcc(std::vector<uint8_t> icc);

// The profile a picture's numbers are in: its embedded ICC profile; for a PNG without one, sRGB when it
// has an sRGB chunk, else a profile built from its gAMA and cHRM (a gamma of 1/2.2 with sRGB's or no
// chromaticities is read as sRGB, as its writers mean it); sRGB for a picture that says nothing. An
// embedded profile that cannot serve as a source (damaged, not RGB) is an error: the caller reads the
// picture as sRGB.
base::StatusOr<ProfileRef> SourceProfileOf(const ColourDescription& description);

// The digest SourceProfileOf's result would have, computed from the description alone (no profile is
// parsed): descriptions with equal keys are converted alike.
uint64_t DescriptionKey(const ColourDescription& description);

// FNV-1a over `bytes`.
uint64_t Digest(const uint8_t* bytes, size_t size);

}  // namespace imaging::colour
