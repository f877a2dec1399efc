// MetadataReader: what a picture file's header and EXIF data say, read without decoding any pixels.
//
// Only what the file stores is reported: a tag that is absent, or stored in another format than the one
// named below, is left out rather than guessed or filled with a default. The header (size, orientation)
// is read by imaging/header/picture_header.h, the one reader of both programs.
// Thread safety: every method may be called from any thread at once.
#pragma once

#include <optional>
#include <string>

#include "imaging/header/picture_header.h"

namespace platform {

struct PictureMetadata {
  imaging::PictureFormat format = imaging::PictureFormat::kUnknown;
  // The first frame's size as stored (before any orientation), 1..2^31-1 each.
  int width_px = 0;
  int height_px = 0;
  // The EXIF orientation, 1..8, by the one rule of imaging/header/exif_directory.h (1 when absent).
  int orientation = 1;
  // EXIF DateTimeOriginal and the first directory's DateTime, when stored as ASCII: the stored bytes up
  // to the first NUL (the stored text need not end in one).
  std::optional<std::string> date_time_original;
  std::optional<std::string> date_time;
  // The resolution the file states (EXIF over JFIF for a JPEG, pHYs for a PNG); nothing when it states
  // none.
  std::optional<imaging::PictureResolution> resolution;
};

class MetadataReader {
 public:
  virtual ~MetadataReader() = default;

  // Reads the header of the picture at `path` (UTF-8). Success: the metadata, with `*status` (when
  // given) kOk; a file without EXIF data answers its size only. Failure: nothing, and `*status` says why.
  // A JPEG's EXIF data is looked for in every segment before the image data, a PNG's in its eXIf chunk.
  virtual std::optional<PictureMetadata> Read(const std::string& path, imaging::MetadataStatus* status = nullptr) const = 0;
};

}  // namespace platform
