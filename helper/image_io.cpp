// Photo and frame decoding through stb_image, sheet JPEG encoding through stb_image_write.
#include "helper/image_io.h"

#include <cstdio>
#include <memory>
#include <new>

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>

#include "helper/file_open.h"

namespace mosalith {
namespace {

// The stb writer's sink: remembers a short write so that it can be reported after encoding.
struct JpegSink {
  std::FILE* file = nullptr;
  bool failed = false;
};

void WriteToSink(void* context, void* data, int size) {
  auto* sink = static_cast<JpegSink*>(context);
  if (sink->failed || size <= 0) return;
  if (std::fwrite(data, 1, static_cast<size_t>(size), sink->file) != static_cast<size_t>(size)) {
    sink->failed = true;
  }
}

}  // namespace

std::optional<ImageBuffer> LoadImage(const std::string& utf8_path) {
  FilePtr file = OpenFile(utf8_path, "rb");
  if (!file) return std::nullopt;

  // The header alone tells the size; a file promising more than the budget is never decoded.
  // stbi_info_from_file leaves the file position where it was.
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_file(file.get(), &width, &height, &channels)) return std::nullopt;
  if (width < 1 || height < 1) return std::nullopt;
  if (static_cast<int64_t>(width) * height > kMaxDecodePixels) return std::nullopt;

  int decoded_width = 0, decoded_height = 0;
  // stb_impl.cpp makes the decoder allocate with new[], so its block becomes the buffer's own.
  std::unique_ptr<uint8_t[]> pixels(
      stbi_load_from_file(file.get(), &decoded_width, &decoded_height, &channels, 4));
  if (!pixels || decoded_width < 1 || decoded_height < 1) return std::nullopt;
  return ImageBuffer::Adopt(std::move(pixels), decoded_width, decoded_height);
}

bool WriteJpeg(const ImageBuffer& image, const std::string& utf8_path, int quality) {
  if (image.empty()) return false;
  if (quality == 0) quality = 90;
  if (quality < 1) quality = 1;
  if (quality > 100) quality = 100;

  const size_t pixel_count = static_cast<size_t>(image.width()) * static_cast<size_t>(image.height());
  std::unique_ptr<uint8_t[]> rgb(new (std::nothrow) uint8_t[pixel_count * 3]);
  if (!rgb) return false;
  const uint8_t* source = image.data();
  uint8_t* target = rgb.get();
  for (size_t i = 0; i < pixel_count; ++i, source += 4, target += 3) {
    target[0] = source[0];
    target[1] = source[1];
    target[2] = source[2];
  }

  FilePtr file = OpenFile(utf8_path, "wb");
  if (!file) return false;
  JpegSink sink{file.get(), false};
  const int encoded =
      stbi_write_jpg_to_func(WriteToSink, &sink, image.width(), image.height(), 3, rgb.get(), quality);
  // Data still in the stdio buffer can fail to reach the disk at close; that is a failed write too.
  const bool closed = std::fclose(file.release()) == 0;
  return encoded != 0 && !sink.failed && closed;
}

}  // namespace mosalith
