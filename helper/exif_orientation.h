// The EXIF orientation of a picture file: which of the eight stored-pixel arrangements makes it upright.
//
// Read by the one picture header reader the application uses too (platform/picture/picture_header.h),
// so both programs turn every file the same way: the EXIF block of a JPEG wherever it sits before the
// image data, or a PNG's eXIf chunk, and the one orientation rule of platform/picture/exif_directory.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mosalith {

// The orientation 1..8 of the file at `utf8_path`; 1 (upright) when the file cannot be opened, is not a
// JPEG or PNG, or its EXIF data is missing, truncated or malformed. Only the header is read.
int ReadExifOrientation(const std::string& utf8_path);

// The same over a whole file already in memory. Never reads outside [data, data + size).
int ExifOrientationFromBytes(const uint8_t* data, size_t size);

}  // namespace mosalith
