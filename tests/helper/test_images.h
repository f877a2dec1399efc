// Small synthetic pictures, image files and jobs for the helper's and the sheet jobs' tests.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "helper/grid_job.h"
#include "helper/image_buffer.h"
#include "helper/image_io.h"

namespace mosalith::testing {

// A pixel as 0xRRGGBBAA, so expectations read like colour codes.
using Rgba = uint32_t;

// A width x height picture whose pixel (x, y) is paint(x, y).
ImageBuffer MakeImage(int32_t width_px, int32_t height_px, const std::function<Rgba(int32_t, int32_t)>& paint);
// A width x height picture from pixels listed row by row.
ImageBuffer MakeImage(int32_t width_px, int32_t height_px, const std::vector<Rgba>& pixels);
Rgba PixelAt(const ImageBuffer& image, int32_t x, int32_t y);
// Every pixel row by row, for whole-picture comparisons.
std::vector<Rgba> Pixels(const ImageBuffer& image);

// An uncompressed 24-bit bottom-up BMP file of `image` (alpha dropped): a lossless file the loader reads.
std::vector<uint8_t> BmpFile(const ImageBuffer& image);

// An RGBA 8-bit PNG file of `image`, alpha kept (stored deflate blocks, so no compressor is needed).
std::vector<uint8_t> PngFile(const ImageBuffer& image);

// `image` as a progressive JPEG at quality 90 (libjpeg-turbo), for the decoders' progressive paths.
std::vector<uint8_t> ProgressiveJpegFile(const ImageBuffer& image);
// A four-component (Adobe YCCK) JPEG of `image`, whose R, G, B bytes are stored as C, M, Y and alpha as K.
std::vector<uint8_t> CmykJpegFile(const ImageBuffer& image);

// An APP1 segment (marker included) holding an EXIF block whose first directory has one orientation
// entry with `value`, in little-endian ("II") or big-endian ("MM") byte order.
std::vector<uint8_t> ExifSegment(bool little_endian, uint16_t value);
// `jpeg` with `segment` inserted right after its FF D8 start.
std::vector<uint8_t> InsertAfterStart(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& segment);

// The path named by UTF-8 text, and back. Paths are UTF-8 strings in the helper and its tests, while
// std::filesystem::path(std::string) reads the bytes in the platform's narrow encoding, which on Windows
// is not UTF-8.
std::filesystem::path PathFromUtf8(const std::string& utf8_path);
std::string Utf8(const std::filesystem::path& path);

std::vector<uint8_t> ReadBytes(const std::string& utf8_path);
void WriteBytes(const std::string& utf8_path, const std::vector<uint8_t>& bytes);

// The codec path under test: the reference path when MOSALITH_DECODER is "stb" (CTest runs every helper
// suite once on each path), else the fast path.
CodecPath CodecPathUnderTest();
// A codec on that path, for the calling test thread.
ImageCodec& Codec();

// A job of rows x cols cells on a page of width x height pixels, every margin `margin`.
GridJob LayoutJob(int32_t rows, int32_t cols, int32_t width_px, int32_t height_px, int32_t margin = 0);

// A fresh directory under the system temporary folder, removed with everything in it on destruction.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  // The UTF-8 path of `name` inside the directory.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace mosalith::testing
