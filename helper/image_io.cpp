// Photo and frame decoding (libjpeg-turbo or stb_image), sheet JPEG encoding (libjpeg-turbo or
// stb_image_write), and the JPEG marker check both decoders rely on.
#include "helper/image_io.h"

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <stb/stb_image.h>
#include <stb/stb_image_write.h>
#include <turbojpeg.h>

#include "helper/exif_orientation.h"
#include "helper/file_open.h"

namespace mosalith {

namespace {

struct TurboHandleCloser {
  void operator()(void* handle) const { if (handle) tjDestroy(handle); }
};
using TurboHandle = std::unique_ptr<void, TurboHandleCloser>;

struct TurboBufferFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

}  // namespace

struct ImageCodec::State {
  std::vector<uint8_t> file_bytes;  // the current file, reused from file to file
  TurboHandle decompressor;         // made on first use
  TurboHandle compressor;
  std::unique_ptr<unsigned char, TurboBufferFree> jpeg;  // encoder output, reused from sheet to sheet
  unsigned long jpeg_capacity = 0;
  ImageBuffer spare_pixels;  // a decoded photo's block, back from the photo before
};

ImageCodec::ImageCodec(CodecPath path) : path_(path), state_(std::make_unique<State>()) {}
ImageCodec::~ImageCodec() = default;

void ImageCodec::Recycle(ImageBuffer&& block) {
  // Only the fast path decodes into kept blocks (stb allocates its own), and a panorama's block is not
  // worth holding for the rest of the job.
  constexpr size_t kLargestKeptBytes = size_t{64} << 20;
  if (path_ != CodecPath::kFast || block.capacity_bytes() > kLargestKeptBytes) return;
  if (block.capacity_bytes() > state_->spare_pixels.capacity_bytes()) state_->spare_pixels = std::move(block);
}

CodecPath CodecPathFromEnvironment(const char* value) {
  return value != nullptr && std::strcmp(value, "stb") == 0 ? CodecPath::kReference : CodecPath::kFast;
}

namespace {

// ---- the JPEG marker check ----------------------------------------------------------------------------

enum class JpegCheck { kNotJpeg, kFits, kRefused };

// Walks every marker segment of a JPEG (tables may also sit between the scans of a progressive JPEG)
// before any decoder sees the file, and refuses what would make stb_image read or write outside its
// tables or read tables it never filled:
//  - a Huffman table whose code counts add up to more than 256 (this stb_image version trusts them and
//    writes past its tables, already while reading the header for the size);
//  - a scan that uses a Huffman table not defined before it (the decoder would read a table it never
//    filled; libjpeg-turbo refuses some of these and substitutes standard tables for others);
//  - a frame other than baseline, extended or progressive Huffman (the reference decoder reads no
//    other, and both paths must refuse the same files).
JpegCheck CheckJpegMarkers(const uint8_t* data, size_t size) {
  if (size < 2 || data[0] != 0xFF || data[1] != 0xD8) return JpegCheck::kNotJpeg;
  bool progressive = false;
  bool defined[2][4] = {};  // [class: 0 DC, 1 AC][table id]
  size_t pos = 2;
  while (pos < size) {
    const void* found = std::memchr(data + pos, 0xFF, size - pos);
    if (found == nullptr) break;
    pos = static_cast<size_t>(static_cast<const uint8_t*>(found) - data) + 1;
    while (pos < size && data[pos] == 0xFF) ++pos;
    if (pos >= size) break;
    const int marker = data[pos++];
    // Stuffed zero bytes, restart markers and the lone markers carry no length.
    if (marker == 0x00 || marker == 0x01 || (marker >= 0xD0 && marker <= 0xD8)) continue;
    if (marker == 0xD9) break;  // end of image: the decoders read no further
    if (size - pos < 2) break;
    const size_t length = static_cast<size_t>((data[pos] << 8) | data[pos + 1]);
    if (length < 2) return JpegCheck::kRefused;
    const size_t body = pos + 2;
    const size_t end = std::min(size, pos + length);
    if (marker == 0xC4) {
      // Read as stb_image reads it: table after table while the segment's length lasts, the 16 counts
      // taken even past the segment's end (and as 0 past the file's end), since that is where it writes.
      auto byte_at = [&](size_t i) { return i < size ? data[i] : 0; };
      size_t at = body;
      for (int64_t left = static_cast<int64_t>(length) - 2; left > 0;) {
        const int table = byte_at(at);
        int codes = 0;
        for (size_t i = 1; i <= 16; ++i) codes += byte_at(at + i);
        if (codes > 256) return JpegCheck::kRefused;
        if ((table >> 4) > 1 || (table & 15) > 3) return JpegCheck::kRefused;
        defined[table >> 4][table & 15] = true;
        at += 17 + static_cast<size_t>(codes);
        left -= 17 + codes;
        if (at >= size) break;
      }
    } else if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      progressive = marker == 0xC2;
    } else if ((marker >= 0xC3 && marker <= 0xCF) && marker != 0xC8 && marker != 0xCC) {
      return JpegCheck::kRefused;  // lossless, hierarchical or arithmetic-coded frames
    } else if (marker == 0xDA) {
      if (end - body < 1) return JpegCheck::kRefused;
      const size_t components = data[body];
      if (end - body < 1 + 2 * components + 3) return JpegCheck::kRefused;
      const size_t spectral_at = body + 1 + 2 * components;
      const bool dc_scan = data[spectral_at] == 0;
      const bool first_pass = (data[spectral_at + 2] >> 4) == 0;
      // Progressive scans hold either DC or AC coefficients; DC refinement passes use no table at all.
      const bool needs_dc = !progressive || (dc_scan && first_pass);
      const bool needs_ac = !progressive || !dc_scan;
      for (size_t c = 0; c < components; ++c) {
        const int tables = data[body + 2 + 2 * c];
        const int dc = tables >> 4, ac = tables & 15;
        if (needs_dc && (dc > 3 || !defined[0][dc])) return JpegCheck::kRefused;
        if (needs_ac && (ac > 3 || !defined[1][ac])) return JpegCheck::kRefused;
      }
    }
    pos += length;  // the entropy-coded data after a scan header is searched for the next marker
  }
  return JpegCheck::kFits;
}

// ---- decoding -----------------------------------------------------------------------------------------

bool WithinBudget(int64_t width, int64_t height) {
  return width >= 1 && height >= 1 && width <= 65536 && height <= 65536 && width * height <= kMaxDecodePixels;
}

std::optional<Picture> DecodeWithStb(const std::vector<uint8_t>& bytes, int orientation) {
  if (bytes.size() > static_cast<size_t>(INT_MAX)) return std::nullopt;
  const auto* data = reinterpret_cast<const stbi_uc*>(bytes.data());
  const int size = static_cast<int>(bytes.size());
  // The header alone tells the size; a file promising more than the budget is never decoded.
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(data, size, &width, &height, &channels)) return std::nullopt;
  if (!WithinBudget(width, height)) return std::nullopt;
  int decoded_width = 0, decoded_height = 0;
  // stb_impl.cpp makes the decoder allocate with new[], so its block becomes the buffer's own.
  std::unique_ptr<uint8_t[]> pixels(stbi_load_from_memory(data, size, &decoded_width, &decoded_height, &channels, 4));
  if (!pixels || decoded_width < 1 || decoded_height < 1) return std::nullopt;
  Picture picture;
  picture.pixels = ImageBuffer::Adopt(std::move(pixels), decoded_width, decoded_height);
  picture.stored_width_px = decoded_width;
  picture.stored_height_px = decoded_height;
  picture.orientation = orientation;
  return picture;
}

// The smallest of libjpeg-turbo's scales of at most 1 that is not below `scale`, as num / denom.
tjscalingfactor SmallestScaleCovering(double scale) {
  tjscalingfactor best{1, 1};
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  for (int i = 0; factors != nullptr && i < count; ++i) {
    const double value = static_cast<double>(factors[i].num) / factors[i].denom;
    if (value > 1.0 || value < scale) continue;
    if (value < static_cast<double>(best.num) / best.denom) best = factors[i];
  }
  return best;
}

// Returns nothing with `use_stb` set unless libjpeg-turbo decodes the file cleanly or refuses it for its
// size: CMYK (no RGBA output), and every file it finds corrupt, truncated or unreadable, even where it
// could still make a picture. stb_image then decides as on the reference path, so that both paths
// refuse the same damaged files and show the same picture for a damaged file both accept.
std::optional<Picture> DecodeWithTurbo(ImageCodec::State& state, int orientation, const ScaleNeed& need,
                                       bool& use_stb) {
  use_stb = false;
  if (!state.decompressor) state.decompressor.reset(tjInitDecompress());
  void* handle = state.decompressor.get();
  if (handle == nullptr) {
    use_stb = true;
    return std::nullopt;
  }
  const std::vector<uint8_t>& bytes = state.file_bytes;
  int width = 0, height = 0, subsampling = 0, colorspace = 0;
  if (tjDecompressHeader3(handle, bytes.data(), bytes.size(), &width, &height, &subsampling, &colorspace) != 0) {
    state.decompressor.reset();  // a handle that failed mid-file can fail the next file too: start afresh
    use_stb = true;
    return std::nullopt;
  }
  if (!WithinBudget(width, height)) return std::nullopt;
  if (colorspace == TJCS_CMYK || colorspace == TJCS_YCCK) {
    use_stb = true;
    return std::nullopt;
  }
  tjscalingfactor factor{1, 1};
  if (need) {
    const bool swapped = orientation >= 5 && orientation <= 8;
    factor = SmallestScaleCovering(swapped ? need(height, width) : need(width, height));
  }
  const int scaled_width = TJSCALED(width, factor);
  const int scaled_height = TJSCALED(height, factor);
  std::optional<ImageBuffer> pixels = ImageBuffer::Reuse(std::move(state.spare_pixels), scaled_width, scaled_height);
  if (!pixels) return std::nullopt;
  // Scans are limited so that a hostile progressive file cannot keep the decoder busy for minutes.
  const int status = tjDecompress2(handle, bytes.data(), bytes.size(), pixels->data(), scaled_width,
                                   static_cast<int>(pixels->stride_bytes()), scaled_height, TJPF_RGBA,
                                   TJFLAG_LIMITSCANS);
  if (status != 0) {
    state.decompressor.reset();
    state.spare_pixels = std::move(*pixels);
    use_stb = true;
    return std::nullopt;
  }
  Picture picture;
  picture.pixels = std::move(*pixels);
  picture.stored_width_px = width;
  picture.stored_height_px = height;
  picture.orientation = orientation;
  return picture;
}

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

bool WriteWithStb(const ImageBuffer& image, const std::string& utf8_path, int quality) {
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

  std::optional<OutputFile> file = OutputFile::Create(utf8_path);
  if (!file) return false;
  JpegSink sink{file->stream(), false};
  const int encoded =
      stbi_write_jpg_to_func(WriteToSink, &sink, image.width(), image.height(), 3, rgb.get(), quality);
  return encoded != 0 && !sink.failed && file->Commit();
}

bool WriteWithTurbo(ImageCodec::State& state, const ImageBuffer& image, const std::string& utf8_path,
                    int quality) {
  if (!state.compressor) state.compressor.reset(tjInitCompress());
  void* handle = state.compressor.get();
  if (handle == nullptr) return false;
  // The same chroma rule as the reference writer: full-resolution chroma only above quality 90.
  const int subsampling = quality <= 90 ? TJSAMP_420 : TJSAMP_444;
  const unsigned long bound = tjBufSize(image.width(), image.height(), subsampling);
  if (bound == static_cast<unsigned long>(-1)) return false;
  if (state.jpeg_capacity < bound) {
    state.jpeg.reset(tjAlloc(static_cast<int>(std::min<unsigned long>(bound, INT_MAX))));
    state.jpeg_capacity = state.jpeg ? bound : 0;
    if (!state.jpeg || bound > INT_MAX) return false;
  }
  unsigned char* output = state.jpeg.get();
  unsigned long output_size = state.jpeg_capacity;
  if (tjCompress2(handle, image.data(), image.width(), static_cast<int>(image.stride_bytes()), image.height(),
                  TJPF_RGBA, &output, &output_size, subsampling, quality, TJFLAG_NOREALLOC) != 0) {
    state.compressor.reset();
    return false;
  }
  std::optional<OutputFile> file = OutputFile::Create(utf8_path);
  if (!file) return false;
  return std::fwrite(output, 1, output_size, file->stream()) == output_size && file->Commit();
}

}  // namespace

std::optional<Picture> LoadPicture(const std::string& utf8_path, ImageCodec& codec, const ScaleNeed& need) {
  ImageCodec::State& state = codec.state();
  if (!ReadWholeFile(utf8_path, state.file_bytes, kMaxFileBytes)) return std::nullopt;
  const std::vector<uint8_t>& bytes = state.file_bytes;
  // Nothing parses the file before this check: stb's size query already reads the Huffman tables.
  const JpegCheck check = CheckJpegMarkers(bytes.data(), bytes.size());
  if (check == JpegCheck::kRefused) return std::nullopt;
  const int orientation = ExifOrientationFromBytes(bytes.data(), std::min(bytes.size(), kExifSearchBytes));

  if (codec.path() == CodecPath::kFast && check == JpegCheck::kFits) {
    bool use_stb = false;
    std::optional<Picture> picture = DecodeWithTurbo(state, orientation, need, use_stb);
    if (!use_stb) return picture;
  }
  return DecodeWithStb(bytes, orientation);
}

std::optional<ImageBuffer> LoadImage(const std::string& utf8_path, ImageCodec& codec) {
  std::optional<Picture> picture = LoadPicture(utf8_path, codec);
  if (!picture) return std::nullopt;
  return std::move(picture->pixels);
}

bool WriteJpeg(const ImageBuffer& image, const std::string& utf8_path, int quality, ImageCodec& codec) {
  if (image.empty()) return false;
  if (quality == 0) quality = 90;
  quality = std::clamp(quality, 1, 100);
  if (codec.path() == CodecPath::kFast) return WriteWithTurbo(codec.state(), image, utf8_path, quality);
  return WriteWithStb(image, utf8_path, quality);
}

}  // namespace mosalith
