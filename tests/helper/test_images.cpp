// Small synthetic pictures and image files for the helper's image tests.
#include "tests/helper/test_images.h"

#include <stdexcept>

#include <turbojpeg.h>

#include "tests/support/picture_files.h"

namespace mosalith::testing {
namespace {

void PutLe16(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}
void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  PutLe16(out, v & 0xFFFF);
  PutLe16(out, v >> 16);
}
void Put16(std::vector<uint8_t>& out, bool little_endian, uint32_t v) {
  if (little_endian) return PutLe16(out, v);
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}
void Put32(std::vector<uint8_t>& out, bool little_endian, uint32_t v) {
  if (little_endian) return PutLe32(out, v);
  Put16(out, false, v >> 16);
  Put16(out, false, v & 0xFFFF);
}

}  // namespace

imaging::Bitmap MakeImage(int32_t width_px, int32_t height_px, const std::function<Rgba(int32_t, int32_t)>& paint) {
  std::optional<imaging::Bitmap> image = imaging::MakeBitmap(width_px, height_px);
  if (!image) throw std::runtime_error("test picture cannot be allocated");
  for (int32_t y = 0; y < height_px; ++y) {
    for (int32_t x = 0; x < width_px; ++x) {
      const Rgba v = paint(x, y);
      uint8_t* p = image->pixel(x, y);
      p[0] = static_cast<uint8_t>(v >> 24);
      p[1] = static_cast<uint8_t>(v >> 16);
      p[2] = static_cast<uint8_t>(v >> 8);
      p[3] = static_cast<uint8_t>(v);
    }
  }
  return std::move(*image);
}

imaging::Bitmap MakeImage(int32_t width_px, int32_t height_px, const std::vector<Rgba>& pixels) {
  if (pixels.size() != static_cast<size_t>(width_px) * static_cast<size_t>(height_px)) {
    throw std::invalid_argument("pixel list does not match the size");
  }
  return MakeImage(width_px, height_px, [&](int32_t x, int32_t y) { return pixels[y * width_px + x]; });
}

Rgba PixelAt(const imaging::Bitmap& image, int32_t x, int32_t y) {
  const uint8_t* p = image.pixel(x, y);
  return (Rgba{p[0]} << 24) | (Rgba{p[1]} << 16) | (Rgba{p[2]} << 8) | Rgba{p[3]};
}

std::vector<Rgba> Pixels(const imaging::Bitmap& image) {
  std::vector<Rgba> pixels;
  for (int32_t y = 0; y < image.height_px; ++y) {
    for (int32_t x = 0; x < image.width_px; ++x) pixels.push_back(PixelAt(image, x, y));
  }
  return pixels;
}

namespace {
test_support::RgbaPixels PixelsOf(const imaging::Bitmap& image) {
  return {image.width_px, image.height_px, image.rgba.data(), image.row_bytes()};
}
}  // namespace

std::vector<uint8_t> BmpFile(const imaging::Bitmap& image) { return test_support::BmpFile(PixelsOf(image)); }

std::vector<uint8_t> PngFile(const imaging::Bitmap& image) { return test_support::PngFile(PixelsOf(image)); }

std::vector<uint8_t> ExifSegment(bool little_endian, uint16_t value) {
  // The marker, a length set at the end, the EXIF header, then the TIFF block: byte order mark first.
  std::vector<uint8_t> segment = {0xFF, 0xE1, 0, 0, 'E', 'x', 'i', 'f', 0, 0};
  std::vector<uint8_t>& tiff = segment;
  Put16(tiff, false, little_endian ? 0x4949 : 0x4D4D);  // "II" or "MM"
  Put16(tiff, little_endian, 42);
  Put32(tiff, little_endian, 8);  // first directory right after the header
  Put16(tiff, little_endian, 2);  // two entries: something else first, then the orientation
  Put16(tiff, little_endian, 0x010F);  // Make, ASCII, pointing nowhere useful
  Put16(tiff, little_endian, 2);
  Put32(tiff, little_endian, 4);
  Put32(tiff, little_endian, 0);
  Put16(tiff, little_endian, 0x0112);  // Orientation, SHORT, count 1, value in the first two bytes
  Put16(tiff, little_endian, 3);
  Put32(tiff, little_endian, 1);
  Put16(tiff, little_endian, value);
  Put16(tiff, little_endian, 0);
  Put32(tiff, little_endian, 0);  // no next directory

  const size_t length = segment.size() - 2;  // all but the marker
  segment[2] = static_cast<uint8_t>(length >> 8);
  segment[3] = static_cast<uint8_t>(length);
  return segment;
}

std::vector<uint8_t> InsertAfterStart(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& segment) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  out.insert(out.end(), segment.begin(), segment.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

namespace {

std::vector<uint8_t> TurboJpeg(const imaging::Bitmap& image, int pixel_format, int subsampling, int flags) {
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) throw std::runtime_error("tjInitCompress failed");
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int status = tjCompress2(handle, image.rgba.data(), image.width_px, static_cast<int>(image.row_bytes()),
                                 image.height_px, pixel_format, &jpeg, &size, subsampling, 90, flags);
  std::vector<uint8_t> bytes;
  if (status == 0) bytes.assign(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(handle);
  if (status != 0) throw std::runtime_error("tjCompress2 failed");
  return bytes;
}

}  // namespace

std::vector<uint8_t> ProgressiveJpegFile(const imaging::Bitmap& image) {
  return TurboJpeg(image, TJPF_RGBA, TJSAMP_420, TJFLAG_PROGRESSIVE);
}

std::vector<uint8_t> CmykJpegFile(const imaging::Bitmap& image) {
  return TurboJpeg(image, TJPF_CMYK, TJSAMP_444, 0);
}


ImageCodec& Codec() {
  thread_local ImageCodec codec;
  return codec;
}

GridJob LayoutJob(int32_t rows, int32_t cols, int32_t width_px, int32_t height_px, int32_t margin) {
  GridJob job;
  job.rows = rows;
  job.cols = cols;
  job.pageWidth = width_px;
  job.pageHeight = height_px;
  job.marginLeft = job.marginRight = job.marginTop = job.marginBottom = margin;
  return job;
}

std::optional<imaging::Bitmap> LoadImage(const std::string& path, ImageCodec& codec) {
  base::StatusOr<Picture> picture = LoadPicture(path, codec);
  if (!picture.ok()) return std::nullopt;
  return std::move(picture->pixels);
}

}  // namespace mosalith::testing
