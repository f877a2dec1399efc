// Photo and frame decoding through stb_image, sheet JPEG encoding through stb_image_write.
#include "helper/image_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
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

// Sequential bytes of a file through a block buffer; past the end it reads 0, as stb's reader does.
class ByteStream {
 public:
  explicit ByteStream(std::FILE* file) : file_(file) {}
  bool AtEnd() {
    Fill();
    return next_ == end_;
  }
  int Get() {
    Fill();
    return next_ == end_ ? 0 : buffer_[next_++];
  }
  void Skip(size_t count) {
    while (count > 0 && !AtEnd()) {
      const size_t step = std::min(count, end_ - next_);
      next_ += step;
      count -= step;
    }
  }
  // Moves to the next 0xFF byte; false at the end of the file.
  bool SeekFF() {
    while (!AtEnd()) {
      const void* found = std::memchr(buffer_ + next_, 0xFF, end_ - next_);
      if (found != nullptr) {
        next_ = static_cast<const uint8_t*>(found) - buffer_;
        return true;
      }
      next_ = end_;
    }
    return false;
  }

 private:
  void Fill() {
    if (next_ < end_ || eof_) return;
    end_ = std::fread(buffer_, 1, sizeof(buffer_), file_);
    next_ = 0;
    eof_ = end_ == 0;
  }
  std::FILE* file_;
  uint8_t buffer_[65536];
  size_t next_ = 0;
  size_t end_ = 0;
  bool eof_ = false;
};

// This stb_image version trusts the code counts of a JPEG Huffman table: counts adding up to more than
// 256 codes write past the decoder's tables. Every DHT segment of the file (they may also sit between
// the scans of a progressive JPEG) is read here the way the decoder reads it, and such a file is
// refused before decoding. Files that do not start like a JPEG are left to the other loaders.
bool HuffmanTablesFit(std::FILE* file) {
  std::rewind(file);
  auto stream = std::make_unique<ByteStream>(file);
  if (stream->Get() != 0xFF || stream->Get() != 0xD8) return true;
  while (stream->SeekFF()) {
    int marker = stream->Get();
    while (marker == 0xFF) marker = stream->Get();
    // Stuffed zero bytes, restart markers and the lone markers carry no length.
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
    if (marker == 0xD9) return true;  // end of image: the decoder reads no further
    const int length = (stream->Get() << 8) | stream->Get();
    if (marker != 0xC4) {
      if (length >= 2) stream->Skip(static_cast<size_t>(length - 2));
      continue;
    }
    for (int left = length - 2; left > 0 && !stream->AtEnd();) {
      stream->Get();  // table class and number
      int codes = 0;
      for (int i = 0; i < 16; ++i) codes += stream->Get();
      if (codes > 256) return false;
      stream->Skip(static_cast<size_t>(codes));
      left -= 17 + codes;
    }
  }
  return true;
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
  if (!HuffmanTablesFit(file.get())) return std::nullopt;
  std::rewind(file.get());

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
