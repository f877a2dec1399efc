// Small synthetic pictures and image files for the helper's image tests.
#include "tests/helper/test_images.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include <turbojpeg.h>
#include <unistd.h>

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

void PutBe32(std::vector<uint8_t>& out, uint32_t v) { Put32(out, false, v); }

uint32_t Crc32(const uint8_t* data, size_t size) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < size; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void PutChunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& payload) {
  PutBe32(out, static_cast<uint32_t>(payload.size()));
  std::vector<uint8_t> typed(type, type + 4);
  typed.insert(typed.end(), payload.begin(), payload.end());
  out.insert(out.end(), typed.begin(), typed.end());
  PutBe32(out, Crc32(typed.data(), typed.size()));
}

}  // namespace

ImageBuffer MakeImage(int32_t width_px, int32_t height_px, const std::function<Rgba(int32_t, int32_t)>& paint) {
  std::optional<ImageBuffer> image = ImageBuffer::Allocate(width_px, height_px);
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

ImageBuffer MakeImage(int32_t width_px, int32_t height_px, const std::vector<Rgba>& pixels) {
  if (pixels.size() != static_cast<size_t>(width_px) * static_cast<size_t>(height_px)) {
    throw std::invalid_argument("pixel list does not match the size");
  }
  return MakeImage(width_px, height_px, [&](int32_t x, int32_t y) { return pixels[y * width_px + x]; });
}

Rgba PixelAt(const ImageBuffer& image, int32_t x, int32_t y) {
  const uint8_t* p = image.pixel(x, y);
  return (Rgba{p[0]} << 24) | (Rgba{p[1]} << 16) | (Rgba{p[2]} << 8) | Rgba{p[3]};
}

std::vector<Rgba> Pixels(const ImageBuffer& image) {
  std::vector<Rgba> pixels;
  for (int32_t y = 0; y < image.height(); ++y) {
    for (int32_t x = 0; x < image.width(); ++x) pixels.push_back(PixelAt(image, x, y));
  }
  return pixels;
}

std::vector<uint8_t> BmpFile(const ImageBuffer& image) {
  const uint32_t row_bytes = (static_cast<uint32_t>(image.width()) * 3 + 3) & ~3u;
  const uint32_t pixel_bytes = row_bytes * static_cast<uint32_t>(image.height());
  std::vector<uint8_t> out = {'B', 'M'};
  PutLe32(out, 14 + 40 + pixel_bytes);  // file size
  PutLe32(out, 0);                      // reserved
  PutLe32(out, 14 + 40);                // pixel data offset
  PutLe32(out, 40);                     // BITMAPINFOHEADER
  PutLe32(out, static_cast<uint32_t>(image.width()));
  PutLe32(out, static_cast<uint32_t>(image.height()));  // positive: bottom-up rows
  PutLe16(out, 1);                                      // planes
  PutLe16(out, 24);                                     // bits per pixel
  PutLe32(out, 0);                                      // BI_RGB
  PutLe32(out, pixel_bytes);
  PutLe32(out, 2835);
  PutLe32(out, 2835);
  PutLe32(out, 0);
  PutLe32(out, 0);
  for (int32_t y = image.height() - 1; y >= 0; --y) {
    for (int32_t x = 0; x < image.width(); ++x) {
      const uint8_t* p = image.pixel(x, y);
      out.insert(out.end(), {p[2], p[1], p[0]});
    }
    out.resize(out.size() + (row_bytes - static_cast<uint32_t>(image.width()) * 3), 0);
  }
  return out;
}

std::vector<uint8_t> PngFile(const ImageBuffer& image) {
  // Filter byte 0 before every row, then the RGBA bytes.
  std::vector<uint8_t> raw;
  for (int32_t y = 0; y < image.height(); ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), image.row(y), image.row(y) + image.stride_bytes());
  }
  std::vector<uint8_t> zlib = {0x78, 0x01};
  constexpr size_t kStoredBlockMax = 65535;
  for (size_t at = 0; at < raw.size() || at == 0; at += kStoredBlockMax) {
    const size_t size = std::min(kStoredBlockMax, raw.size() - at);
    zlib.push_back(at + size >= raw.size() ? 1 : 0);  // final block flag, stored type
    PutLe16(zlib, static_cast<uint32_t>(size));
    PutLe16(zlib, static_cast<uint32_t>(~size & 0xFFFF));
    zlib.insert(zlib.end(), raw.begin() + static_cast<ptrdiff_t>(at), raw.begin() + static_cast<ptrdiff_t>(at + size));
    if (size == 0) break;
  }
  uint32_t a = 1, b = 0;  // Adler-32 of the uncompressed bytes
  for (uint8_t byte : raw) {
    a = (a + byte) % 65521;
    b = (b + a) % 65521;
  }
  PutBe32(zlib, (b << 16) | a);

  std::vector<uint8_t> out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  std::vector<uint8_t> header;
  PutBe32(header, static_cast<uint32_t>(image.width()));
  PutBe32(header, static_cast<uint32_t>(image.height()));
  header.insert(header.end(), {8, 6, 0, 0, 0});  // 8 bits, RGBA, deflate, no filter method, no interlace
  PutChunk(out, "IHDR", header);
  PutChunk(out, "IDAT", zlib);
  PutChunk(out, "IEND", {});
  return out;
}

std::vector<uint8_t> ExifSegment(bool little_endian, uint16_t value) {
  std::vector<uint8_t> tiff;
  if (little_endian) {
    tiff = {'I', 'I'};
  } else {
    tiff = {'M', 'M'};
  }
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

  std::vector<uint8_t> segment = {0xFF, 0xE1};
  const size_t length = 2 + 6 + tiff.size();
  segment.push_back(static_cast<uint8_t>(length >> 8));
  segment.push_back(static_cast<uint8_t>(length));
  segment.insert(segment.end(), {'E', 'x', 'i', 'f', 0, 0});
  segment.insert(segment.end(), tiff.begin(), tiff.end());
  return segment;
}

std::vector<uint8_t> InsertAfterStart(const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& segment) {
  std::vector<uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
  out.insert(out.end(), segment.begin(), segment.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

std::filesystem::path PathFromUtf8(const std::string& utf8_path) {
  return std::filesystem::path(std::u8string(utf8_path.begin(), utf8_path.end()));
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<uint8_t> ReadBytes(const std::string& utf8_path) {
  std::ifstream in(PathFromUtf8(utf8_path), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& utf8_path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(PathFromUtf8(utf8_path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + utf8_path);
}

TempDir::TempDir() {
  static std::atomic<int> counter{0};
  path_ = std::filesystem::temp_directory_path() /
          ("mosalith-image-test-" + std::to_string(::getpid()) + "-" + std::to_string(counter++));
  std::filesystem::remove_all(path_);
  std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

std::string TempDir::File(const std::string& name) const { return Utf8(path_ / PathFromUtf8(name)); }

namespace {

std::vector<uint8_t> TurboJpeg(const ImageBuffer& image, int pixel_format, int subsampling, int flags) {
  tjhandle handle = tjInitCompress();
  if (handle == nullptr) throw std::runtime_error("tjInitCompress failed");
  unsigned char* jpeg = nullptr;
  unsigned long size = 0;
  const int status = tjCompress2(handle, image.data(), image.width(), static_cast<int>(image.stride_bytes()),
                                 image.height(), pixel_format, &jpeg, &size, subsampling, 90, flags);
  std::vector<uint8_t> bytes;
  if (status == 0) bytes.assign(jpeg, jpeg + size);
  tjFree(jpeg);
  tjDestroy(handle);
  if (status != 0) throw std::runtime_error("tjCompress2 failed");
  return bytes;
}

}  // namespace

std::vector<uint8_t> ProgressiveJpegFile(const ImageBuffer& image) {
  return TurboJpeg(image, TJPF_RGBA, TJSAMP_420, TJFLAG_PROGRESSIVE);
}

std::vector<uint8_t> CmykJpegFile(const ImageBuffer& image) {
  return TurboJpeg(image, TJPF_CMYK, TJSAMP_444, 0);
}

CodecPath CodecPathUnderTest() { return CodecPathFromEnvironment(std::getenv("MOSALITH_DECODER")); }

ImageCodec& Codec() {
  thread_local ImageCodec codec(CodecPathUnderTest());
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

}  // namespace mosalith::testing
