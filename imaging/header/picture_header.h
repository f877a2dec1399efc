// The one reader of picture file headers for both programs: format, the first frame's size, the EXIF
// block, the orientation and the resolution of a JPEG or PNG file, read without decoding any pixels.
//
// Pure code over a read-at function, so hostile files can be tested from memory. Every length in the
// file is checked against what the file holds before it is used; nothing is allocated from a length the
// file states beyond one EXIF block (at most 65533 bytes in a JPEG, kMaxPngExifBytes in a PNG).
//
// JPEG: segments are walked from the start of image to the start of scan (jpeg_segments.h). The first
// start-of-frame segment gives the size; the first APP1 segment whose payload starts with "Exif\0\0"
// gives the EXIF block, wherever it sits before the image data (after comments, other application
// segments or the frame header); the first APP0 "JFIF" segment gives a density. Whatever was found when
// the walk ends counts, so a truncated or damaged tail after the frame header still answers its size.
// PNG: the signature, then the IHDR chunk, which must come first; then the chunks before the image data:
// the first eXIf (the EXIF block without its "Exif\0\0" signature) and the first pHYs.
// Orientation and EXIF resolution follow the rule of exif_directory.h.
// Resolution: present only when the file states a physical unit: JFIF units 1 (dots per inch) or 2 (per
// centimetre), EXIF ResolutionUnit 2 or 3, PNG pHYs unit 1 (per metre). EXIF wins over JFIF.
// Thread safety: re-entrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "imaging/header/exif_directory.h"
#include "imaging/header/read_at.h"
#include "imaging/picture_format.h"

namespace imaging {

enum class MetadataStatus {
  kOk = 0,
  kNotFound,        // no such file or folder
  kUnreadable,      // permission refused, not a regular file, or a read error
  kUnknownFormat,   // not a JPEG or PNG file, or a header without a usable size
};

// A PNG eXIf chunk larger than this is not read (a JPEG's EXIF block cannot pass 65533 bytes).
inline constexpr size_t kMaxPngExifBytes = 1 << 20;

struct PictureHeader {
  PictureFormat format = PictureFormat::kJpeg;
  int width_px = 0;     // the first frame as stored, before any orientation; 1..2^31-1
  int height_px = 0;
  int orientation = 1;  // 1..8, the one orientation rule
  std::optional<PictureResolution> resolution;
  // JPEG: the frame is progressive (its decoder keeps every coefficient of the picture in memory).
  bool progressive = false;
  // The EXIF block in its JPEG form: "Exif\0\0", then the TIFF block (a PNG's eXIf chunk gets the
  // signature put in front). Empty when there is none.
  std::vector<uint8_t> exif;
};

// The header of the file that `read` reads, or nothing with `*status` (when given) kUnknownFormat (not a
// JPEG or PNG, no frame header before the image data, a zero or oversized side) or kUnreadable (a read
// error).
std::optional<PictureHeader> ReadPictureHeader(const ReadAtFunction& read, MetadataStatus* status = nullptr);

// The same over `size` bytes in memory.
std::optional<PictureHeader> ReadPictureHeader(const uint8_t* data, size_t size, MetadataStatus* status = nullptr);

}  // namespace imaging
