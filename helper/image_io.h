// Reading and writing image files for the helper: photos and frames decoded by the image core
// (imaging/decode.h: every accepted and refused format, the damage rule, the reasons), sheets encoded by
// it, written through OutputFile.
//
// Photos are untrusted input: only regular files are opened, a file is read whole into memory (at most
// kMaxFileBytes) and the core checks its header and its claim before any pixel is decoded.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/status.h"
#include "imaging/bitmap.h"
#include "imaging/colour/colour_description.h"
#include "imaging/memory_budget.h"

namespace mosalith {

// Largest image file read, in bytes (2 GiB - 1): room for an uncompressed picture at the pixel limits.
inline constexpr int64_t kMaxFileBytes = (int64_t{1} << 31) - 1;

// The budget of the helper's pixel buffers for the environment values MOSALITH_MEMORY_MB and, when that
// is unset, PICTAVERA_MEMORY_MB (the application's own, which the helper inherits when the application
// starts it): a whole number of MiB from 16 up, else 1 GiB.
uint64_t HelperMemoryBudgetBytes(const char* helper_megabytes, const char* application_megabytes);

// A worker's codec: the budget its pixels draw on and the file buffer reused from file to file.
// Thread safety: none; each worker thread owns one.
class ImageCodec {
 public:
  explicit ImageCodec(imaging::MemoryBudget* budget = nullptr) : budget_(budget) {}
  ImageCodec(const ImageCodec&) = delete;
  ImageCodec& operator=(const ImageCodec&) = delete;

  imaging::MemoryBudget* budget() const { return budget_; }
  std::vector<uint8_t>& file_bytes() { return file_bytes_; }

 private:
  imaging::MemoryBudget* budget_;
  std::vector<uint8_t> file_bytes_;
};

// A decoded picture in its stored orientation, with what the loader learnt on the way.
struct Picture {
  imaging::Bitmap pixels;       // RGBA; smaller than the stored size after a scaled decode
  int32_t stored_width_px = 0;  // the file's own size, whatever the decode scale
  int32_t stored_height_px = 0;
  int orientation = 1;          // EXIF orientation 1..8 (1 for every file without one, and for HEIF)
  imaging::ColourDescription colour = {};  // what the file says about its colours; empty: sRGB
};

// The smallest scale (decoded side / stored side) the caller can use, given the picture's upright size
// (the stored size with the sides swapped for EXIF orientations 5 to 8). A result of 1 or more asks for
// the full size. Called once per file, before decoding.
using ScaleNeed = std::function<double(int32_t upright_width_px, int32_t upright_height_px)>;

// Decodes the file at `utf8_path` for print (a damaged picture is refused), no smaller than `need`
// allows. Failures carry the reason log lines give: "file not found" (also a file that cannot be opened
// or is not a regular file), "too large" (beyond kMaxFileBytes, the pixel limits or the whole budget),
// the core's "unsupported format HEIC", "unknown format", "damaged data", "out of memory".
base::StatusOr<Picture> LoadPicture(const std::string& utf8_path, ImageCodec& codec, const ScaleNeed& need = {});

// Writes `image` as a baseline JPEG at `utf8_path` through OutputFile (a temporary name in the same
// folder, renamed over whatever is at `utf8_path` once complete), R, G, B kept and alpha dropped.
// `quality` 0 means 90; other values are limited to 1..100. Chroma is kept at full resolution above
// quality 90 and halved both ways at or below it. The JFIF density is `density_dpi` dots per inch when
// it is 1..65535, else a 1:1 aspect ratio without units; the pixels are the same either way. Returns
// false when the folder cannot take the file, memory runs out, encoding fails or the data cannot be
// written out (a full disk); nothing is then left behind and an older file at `utf8_path` stays as it was.
// `icc_segments` (imaging/colour/jpeg_icc.h's IccSegments: the colour profile the sheet carries) are
// written right after the JFIF segment.
bool WriteJpeg(const imaging::Bitmap& image, const std::string& utf8_path, int quality, ImageCodec& codec,
               int density_dpi = 0, const std::vector<uint8_t>& icc_segments = {});

}  // namespace mosalith
