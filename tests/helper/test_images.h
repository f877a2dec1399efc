// Small synthetic pictures, image files and jobs for the helper's and the sheet jobs' tests.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "helper/grid_job.h"
#include "imaging/bitmap.h"
#include "helper/image_io.h"

namespace mosalith::testing {

// A pixel as 0xRRGGBBAA, so expectations read like colour codes.
using Rgba = uint32_t;

// A width x height picture whose pixel (x, y) is paint(x, y).
imaging::Bitmap MakeImage(int32_t width_px, int32_t height_px, const std::function<Rgba(int32_t, int32_t)>& paint);
// A width x height picture from pixels listed row by row.
imaging::Bitmap MakeImage(int32_t width_px, int32_t height_px, const std::vector<Rgba>& pixels);
Rgba PixelAt(const imaging::Bitmap& image, int32_t x, int32_t y);
// Every pixel row by row, for whole-picture comparisons.
std::vector<Rgba> Pixels(const imaging::Bitmap& image);

// A 24-bit BMP file of `image` (alpha dropped) and an RGBA 8-bit PNG file of it (alpha kept): lossless
// files the loader reads (tests/support/picture_files.h).
std::vector<uint8_t> BmpFile(const imaging::Bitmap& image);
std::vector<uint8_t> PngFile(const imaging::Bitmap& image);

// `image` as a progressive JPEG at quality 90 (libjpeg-turbo), for the decoders' progressive paths.
std::vector<uint8_t> ProgressiveJpegFile(const imaging::Bitmap& image);
// A four-component (Adobe YCCK) JPEG of `image`, whose R, G, B bytes are stored as C, M, Y and alpha as K.
std::vector<uint8_t> CmykJpegFile(const imaging::Bitmap& image);

// An APP1 segment (marker included) holding an EXIF block whose first directory has one orientation
// entry with `value`, in little-endian ("II") or big-endian ("MM") byte order.
std::vector<uint8_t> ExifSegment(bool little_endian, uint16_t value);
// `jpeg` with `segment` inserted right after its FF D8 start.
std::vector<uint8_t> InsertAfterStart(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& segment);

// A codec for the calling test thread (no memory budget).
ImageCodec& Codec();
// The pixels LoadPicture decodes from `path` at full size, or nothing.
std::optional<imaging::Bitmap> LoadImage(const std::string& path, ImageCodec& codec);

// A job of rows x cols cells on a page of width x height pixels, every margin `margin`.
GridJob LayoutJob(int32_t rows, int32_t cols, int32_t width_px, int32_t height_px, int32_t margin = 0);

}  // namespace mosalith::testing
