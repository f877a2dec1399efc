// DecodePicture: the one decoder of both programs. Every photo and frame, in every path (sheets of both
// composers, bakes, prints, previews, faces), is decoded here, so a picture is accepted or refused alike
// everywhere, for the same reason.
//
// Formats: JPEG (libjpeg-turbo), PNG (libpng), TIFF (libtiff), WebP (libwebp), HEIC/HEIF and AVIF
// (libheif, in builds that have it), BMP, TGA and PSD (stb_image). GIF, PNM, HDR and PIC are refused
// as "unsupported format GIF" and so on: their decoders in the stb_image version we build with have known
// memory-safety faults. The format is told from the file's bytes, never from its name.
//
// Pixels: 8-bit RGBA, straight alpha, as stored (not turned upright: PictureInfo::orientation says how).
// HEIF files are the exception that keeps one rule: libheif applies the file's own turns and mirrors
// (irot, imir) while it decodes, so their pictures come out upright, their size is the upright size and
// their orientation is 1; an EXIF orientation inside them is never applied on top (one turn, never two).
//
// Damaged pictures, one rule for every path:
//   A picture whose data ends before its last pixel (a file cut short, a download broken off) or whose
//   coded data is damaged still decodes: what the data holds is kept and every pixel it does not reach is mid-grey
//   (kMissingPixel). Uses that show the picture to the person (previews, faces) take it, so the damage can
//   be seen where it is (DecodePurpose::kShow). Uses that put it on paper (sheets of both composers,
//   bakes, prints) refuse it as "damaged data" (DecodePurpose::kPrint): a magnet printed half grey is a
//   wasted magnet. A picture of which nothing at all decodes is refused by both as "damaged data".
//   A JPEG missing only its end marker, stray bytes between a JPEG's segments and a PNG chunk's wrong
//   checksum over data that decodes are not damage: every pixel comes from the file.
//
// Memory: every buffer of the picture's size (the decoders' own, the result, a reduction's rows) is
// taken from the memory budget given (none: not counted). A picture whose file holds too little data
// for the size it claims (a few bytes claiming 16000 x 16000) is refused as "damaged data" before
// anything of that size is allocated; one that needs more than the whole budget is "too large".
//
// Failures (base::Status; the message is the reason log lines and replies carry):
//   kUnsupported  "unsupported format GIF" (also "unsupported format HEIC" in a build without libheif),
//                 "unknown format" for bytes that are no picture we know
//   kCorrupt      "damaged data"
//   kTooLarge     "too large" (sides or pixels beyond the limits of bitmap.h, or beyond the whole budget)
//   kOutOfMemory  "out of memory"
// Thread safety: re-entrant; any number of decodes may run at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "base/status.h"
#include "imaging/bitmap.h"
#include "imaging/colour/colour_description.h"
#include "imaging/header/exif_directory.h"
#include "imaging/header/read_at.h"
#include "imaging/memory_budget.h"
#include "imaging/picture_format.h"

namespace imaging {

// The colour of every pixel a damaged picture's data does not reach (opaque mid-grey, 0xAARRGGBB).
inline constexpr uint32_t kMissingPixel = 0xFF808080;

// What a file says about its picture, read from its header without decoding pixels.
struct PictureInfo {
  PictureFormat format = PictureFormat::kUnknown;
  int width_px = 0;     // as stored, before the orientation (HEIF: as decoded, upright)
  int height_px = 0;
  int orientation = 1;  // the EXIF orientation 1..8 by the one rule; 1 when absent (always 1 for HEIF)
  std::optional<PictureResolution> resolution;  // only when the file states a physical unit
  // The EXIF block in its JPEG form ("Exif\0\0", then the TIFF block), for dates; empty when none.
  std::vector<uint8_t> exif;
};

// Reads the header of the file of `size_bytes` bytes that `read` reads. Failures as DecodePicture's (a header that does not parse
// is "damaged data"), and kIoError for a read error.
base::StatusOr<PictureInfo> ReadPictureInfo(const ReadAtFunction& read, uint64_t size_bytes);
base::StatusOr<PictureInfo> ReadPictureInfo(const uint8_t* data, size_t size);

enum class DecodePurpose {
  kShow,   // previews, faces: a damaged picture is shown with its damage
  kPrint,  // sheets, bakes, prints: a damaged picture is refused
};

struct DecodeRequest {
  DecodePurpose purpose = DecodePurpose::kPrint;
  // Decode-time reduction (stored orientation): when both are above 0, a JPEG is decoded at the smallest
  // of its M/8 scales whose size is still at least min_width_px x min_height_px, any other format reduced
  // as its rows arrive by the largest whole factor that still covers that size. 0: full size.
  int min_width_px = 0;
  int min_height_px = 0;
  // An exact size (stored orientation): when both are above 0 and neither is above the stored size, the
  // picture comes out exactly this size by the one reduction (reduce.h), after the JPEG scale that
  // covers it, so that the full-size picture is never held. Otherwise ignored.
  int exact_width_px = 0;
  int exact_height_px = 0;
};

struct DecodedPicture {
  Bitmap bitmap;      // the stored picture (HEIF: upright), perhaps reduced as the request asks
  PictureInfo info;   // the file's format, stored size, orientation and resolution
  ColourDescription colour;
  bool damaged = false;  // only with DecodePurpose::kShow: parts of the picture are kMissingPixel
};

// Decodes the `size` bytes at `data` (the whole file) as `request` asks, the pixels from `budget`.
base::StatusOr<DecodedPicture> DecodePicture(const uint8_t* data, size_t size, const DecodeRequest& request,
                                             MemoryBudget* budget);

// The size a picture of width_px x height_px in `format` is decoded at before any exact reduction, by
// the rule of DecodeRequest::min_*: the stored size when either minimum is 0 or below, or nothing
// smaller covers it.
void DecodeSize(PictureFormat format, int width_px, int height_px, int min_width_px, int min_height_px,
                int* decode_width_px, int* decode_height_px);

}  // namespace imaging
