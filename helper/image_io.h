// Reading and writing image files: photo and frame decoding, sheet JPEG encoding.
//
// Photos are untrusted input. A file is read whole into memory (only regular files are opened), its
// JPEG markers are checked before any decoder parses it, and its dimensions are checked before any
// pixel is decoded.
//
// Two codec paths, chosen once per run:
//   fast       JPEG photos through libjpeg-turbo, decoded at the smallest M/8 scale that still covers
//              what the caller needs, and sheets encoded by libjpeg-turbo; every other format, CMYK
//              JPEG and every JPEG that libjpeg-turbo finds damaged (truncated, corrupt) through stb_image
//              as on the reference path, which then decides whether it is refused.
//   reference  stb_image for every format at full size, stb_image_write for sheets.
// Both paths refuse the same files: those listed at LoadPicture.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "helper/image_buffer.h"
#include "imaging/colour/colour_description.h"

namespace mosalith {

// Largest picture decoded, in pixels: room for 200-megapixel phone photos, refusing the "bomb" files
// whose header promises far more than any camera makes (the RGBA block of the limit is about 1 GiB).
inline constexpr int64_t kMaxDecodePixels = 260'000'000;

// Largest image file read, in bytes (2 GiB - 1, what stb_image decodes from memory): room for an
// uncompressed PNG of kMaxDecodePixels; a JPEG of that size is far smaller.
inline constexpr int64_t kMaxFileBytes = (int64_t{1} << 31) - 1;

enum class CodecPath { kFast, kReference };

// The path named by the MOSALITH_DECODER environment value: "stb" selects the reference path, anything
// else (or no value) the fast path.
CodecPath CodecPathFromEnvironment(const char* value);

// A worker's codec: its path, library handles and the byte buffers reused from file to file.
// Thread safety: none; each worker thread owns one.
class ImageCodec {
 public:
  explicit ImageCodec(CodecPath path);
  ~ImageCodec();
  ImageCodec(const ImageCodec&) = delete;
  ImageCodec& operator=(const ImageCodec&) = delete;

  CodecPath path() const { return path_; }

  // Keeps a pixel block the caller no longer needs for the next decode into (the larger of it and the
  // block already kept stays; the reference path and blocks over 64 MiB are not kept).
  void Recycle(ImageBuffer&& block);

  struct State;  // library handles and buffers, defined where the libraries are used
  State& state() { return *state_; }

 private:
  CodecPath path_;
  std::unique_ptr<State> state_;
};

// A decoded picture in its stored orientation, with what the loader learnt on the way.
struct Picture {
  ImageBuffer pixels;           // RGBA; smaller than the stored size after a scaled decode
  int32_t stored_width_px = 0;  // the file's own size, whatever the decode scale
  int32_t stored_height_px = 0;
  int orientation = 1;          // EXIF orientation 1..8 (1 for every file without one)
  imaging::ColourDescription colour = {};  // what the file says about its colours; empty: sRGB
};

// The smallest scale (decoded side / stored side) the caller can use, given the picture's upright size
// (the stored size with the sides swapped for EXIF orientations 5 to 8). A result of 1 or more asks for
// the full size. Called once per file, before decoding.
using ScaleNeed = std::function<double(int32_t upright_width_px, int32_t upright_height_px)>;

// Decodes the file at `utf8_path`; every format arrives with 4 channels, opaque formats with alpha 255.
// With `need`, the fast path decodes a JPEG at the smallest of libjpeg-turbo's M/8 scales not below
// need(...) (never above full size); without it, and on the reference path, at full size.
// Returns nothing, without a message, when the file cannot be opened or is not a regular file; is larger
// than kMaxFileBytes; is not JPEG, PNG, BMP, TGA or PSD (GIF, HDR, PNM and PIC are refused); is a JPEG
// whose frame is neither baseline, extended nor progressive Huffman; has a Huffman table with more than
// 256 codes or a scan that uses a Huffman table not defined before it; has a side above 65536 pixels or
// more than kMaxDecodePixels pixels; is otherwise corrupt beyond decoding; or memory runs out.
std::optional<Picture> LoadPicture(const std::string& utf8_path, ImageCodec& codec, const ScaleNeed& need = {});

// LoadPicture at full size, pixels only (as stored, no orientation applied).
std::optional<ImageBuffer> LoadImage(const std::string& utf8_path, ImageCodec& codec);

// Writes `image` as a baseline JPEG at `utf8_path` through OutputFile (a temporary name in the same
// folder, renamed over whatever is at `utf8_path` once complete), R, G, B kept and alpha dropped.
// `quality` 0 means 90; other values are limited to 1..100. Chroma is kept at full resolution above
// quality 90 and halved both ways at or below it. The JFIF density is `density_dpi` dots per inch when
// it is 1..65535, else a 1:1 aspect ratio without units; the pixels are the same either way. Returns
// false when the folder cannot take the file, memory runs out, encoding fails or the data cannot be
// written out (a full disk); nothing is then left behind and an older file at `utf8_path` stays as it was.
// `icc_segments` (imaging/colour/jpeg_icc.h's IccSegments: the colour profile the sheet carries) are
// written right after the JFIF segment.
bool WriteJpeg(const ImageBuffer& image, const std::string& utf8_path, int quality, ImageCodec& codec,
               int density_dpi = 0, const std::vector<uint8_t>& icc_segments = {});

}  // namespace mosalith
