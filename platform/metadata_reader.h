// MetadataReader: what a picture file's header and EXIF data say, read without decoding any pixels.
//
// Only what the file stores is reported: a tag that is absent, or stored in another format than the one
// named below, is left out rather than guessed or filled with a default.
// Thread safety: every method may be called from any thread at once.
#pragma once

#include <optional>
#include <string>

namespace platform {

enum class PictureFormat { kJpeg, kPng };

// A picture's physical resolution in dots per inch, as its file states it (a density in dots per
// centimetre or per metre is converted). Only a stated physical unit counts: a JFIF aspect ratio without
// units, or an EXIF resolution without its unit, states none.
struct PictureResolution {
  double x_dpi = 0;
  double y_dpi = 0;
};

enum class MetadataStatus {
  kOk = 0,
  kNotFound,        // no such file or folder
  kUnreadable,      // permission refused, not a regular file, or a read error
  kUnknownFormat,   // not a JPEG or PNG file, or a header without a usable size
};

struct PictureMetadata {
  PictureFormat format = PictureFormat::kJpeg;
  // The first frame's size as stored (before any orientation), 1..2^31-1 each.
  int width_px = 0;
  int height_px = 0;
  // The Orientation tag of the first EXIF image directory, when stored as exactly one unsigned 16-bit
  // value (any value, not only 1..8).
  std::optional<int> orientation;
  // EXIF DateTimeOriginal and the first directory's DateTime, when stored as ASCII: the stored bytes up
  // to the first NUL (the stored text need not end in one).
  std::optional<std::string> date_time_original;
  std::optional<std::string> date_time;
  // The resolution the file states (EXIF over JFIF for a JPEG, pHYs for a PNG); nothing when it states
  // none.
  std::optional<PictureResolution> resolution;
};

class MetadataReader {
 public:
  virtual ~MetadataReader() = default;

  // Reads the header of the picture at `path` (UTF-8). Success: the metadata, with `*status` (when
  // given) kOk; a file without EXIF data answers its size only. Failure: nothing, and `*status` says why.
  // A JPEG's EXIF data is looked for in every segment before the image data; PNG files carry none here.
  virtual std::optional<PictureMetadata> Read(const std::string& path, MetadataStatus* status = nullptr) const = 0;
};

}  // namespace platform
