// PictureFormat: which kind of picture a file holds, told from its first bytes, and the formats the
// programs refuse on purpose.
//
// Sniffing never trusts the file name: a PNG named photo.jpg is a PNG. Formats the core decodes: JPEG,
// PNG, BMP, TGA, PSD, TIFF, WebP, HEIF (HEIC) and AVIF. GIF, PNM, HDR and PIC are recognised only to
// be refused by name. TGA has no signature: a file that matches nothing else and whose header reads as
// a TGA header is taken as one, as the reference decoder would.
// Thread safety: pure functions.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace imaging {

enum class PictureFormat {
  kUnknown,
  kJpeg,
  kPng,
  kBmp,
  kTga,
  kPsd,
  kTiff,
  kWebp,
  kHeic,  // HEIF with HEVC-coded pictures (a phone's HEIC), or any other HEIF brand
  kAvif,  // HEIF with AV1-coded pictures
  // Recognised and refused:
  kGif,
  kPnm,
  kHdr,
  kPic,
};

// Bytes SniffFormat looks at, at most.
inline constexpr size_t kSniffBytes = 64;

// The format of a file whose first bytes are `data` (`size` of them, fewer than kSniffBytes only for a
// shorter file).
PictureFormat SniffFormat(const uint8_t* data, size_t size);

// The format's usual name, as log lines and reasons show it: "JPEG", "PNG", "HEIC", "AVIF", ...;
// "unknown" for kUnknown.
const char* FormatName(PictureFormat format);

// True for the formats the core decodes in every build (HEIC and AVIF need a build with libheif's
// decoders: DecoderAvailable says).
bool IsDecodedFormat(PictureFormat format);

// Whether this build can decode `format` (false for the refused ones and kUnknown).
bool DecoderAvailable(PictureFormat format);

}  // namespace imaging
