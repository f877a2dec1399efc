// The EXIF orientation of a JPEG file: which of the eight stored-pixel arrangements makes it upright.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace mosalith {

// Only this many leading bytes of a file are searched for the orientation.
inline constexpr size_t kExifSearchBytes = 65536;

// The orientation 1..8 from the first image directory of the file's EXIF block; 1 (upright) when the
// file cannot be opened, is not a JPEG, or its EXIF data is missing, truncated or malformed. The walk
// stops at the start of the scan, and the first APP1 segment that begins "Exif\0\0" decides.
int ReadExifOrientation(const std::string& utf8_path);

// The same walk over bytes already in memory (the first kExifSearchBytes of a file). Never reads
// outside [data, data + size).
int ExifOrientationFromBytes(const uint8_t* data, size_t size);

}  // namespace mosalith
