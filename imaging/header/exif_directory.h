// What the first image directory of an EXIF block says about the picture: its orientation and its
// resolution. The one orientation rule of both programs lives here.
//
// The orientation rule: the first entry tagged 0x0112 (Orientation) of the first image directory
// counts when it holds exactly one integer (BYTE, SHORT or LONG, signed or not) from 1 to 8. Anything
// else (no entry, a count other than 1, another type, a value outside 1..8, a directory that cannot be
// read) means upright, 1. Picture tools read a count of 2 as an unknown orientation, and a LONG 6 as a
// quarter turn, and so does this rule.
// The resolution counts only when the directory states its unit: ResolutionUnit 2 (inch) or 3
// (centimetre), with XResolution and YResolution each one positive RATIONAL.
// Pure code over the block's bytes; every offset is checked before it is used. Thread safety: re-entrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>

namespace imaging {

// Pixels per inch along each axis of the stored picture.
struct PictureResolution {
  double x_dpi = 0;
  double y_dpi = 0;
};

struct ExifDirectoryFacts {
  int orientation = 1;  // 1..8
  std::optional<PictureResolution> resolution;
};

// The facts of the TIFF block `tiff` (the EXIF payload after "Exif\0\0": byte order "II" or "MM",
// 42, the offset of the first directory), `size` bytes long.
ExifDirectoryFacts ReadExifDirectory(const uint8_t* tiff, size_t size);

// The same for an EXIF block as a JPEG APP1 segment carries it: "Exif\0\0" then the TIFF block. A block
// without that signature says nothing.
ExifDirectoryFacts ReadExifBlock(const uint8_t* block, size_t size);

}  // namespace imaging
