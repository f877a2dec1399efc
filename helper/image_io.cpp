// Photo and frame decoding (libjpeg-turbo or stb_image), sheet JPEG encoding (libjpeg-turbo or
// stb_image_write), and the JPEG marker check both decoders rely on (over the shared segment walk).
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
#include "platform/picture/jpeg_segments.h"

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
  bool refused = false;
  const auto refuse = [&refused] {
    refused = true;
    return false;  // ends the walk
  };
  const auto check = [&](const platform::JpegSegment& segment) {
    const uint8_t marker = segment.marker;
    const size_t body = static_cast<size_t>(segment.payload_offset);
    const size_t length = size_t{segment.payload_length} + 2;
    const size_t end = std::min<size_t>(size, body + segment.payload_length);
    if (marker == 0xC4) {
      // Read as stb_image reads it: table after table while the segment's length lasts, the 16 counts
      // taken even past the segment's end (and as 0 past the file's end), since that is where it writes.
      auto byte_at = [&](size_t i) { return i < size ? data[i] : 0; };
      size_t at = body;
      for (int64_t left = static_cast<int64_t>(length) - 2; left > 0;) {
        const int table = byte_at(at);
        int codes = 0;
        for (size_t i = 1; i <= 16; ++i) codes += byte_at(at + i);
        if (codes > 256) return refuse();
        if ((table >> 4) > 1 || (table & 15) > 3) return refuse();
        defined[table >> 4][table & 15] = true;
        at += 17 + static_cast<size_t>(codes);
        left -= 17 + codes;
        if (at >= size) break;
      }
    } else if (marker == 0xC0 || marker == 0xC1 || marker == 0xC2) {
      progressive = marker == 0xC2;
    } else if (platform::IsStartOfFrame(marker)) {
      return refuse();  // lossless, hierarchical or arithmetic-coded frames
    } else if (marker == 0xDA) {
      if (end <= body) return refuse();
      const size_t components = data[body];
      if (end - body < 1 + 2 * components + 3) return refuse();
      const size_t spectral_at = body + 1 + 2 * components;
      const bool dc_scan = data[spectral_at] == 0;
      const bool first_pass = (data[spectral_at + 2] >> 4) == 0;
      // Progressive scans hold either DC or AC coefficients; DC refinement passes use no table at all.
      const bool needs_dc = !progressive || (dc_scan && first_pass);
      const bool needs_ac = !progressive || !dc_scan;
      for (size_t c = 0; c < components; ++c) {
        const int tables = data[body + 2 + 2 * c];
        const int dc = tables >> 4, ac = tables & 15;
        if (needs_dc && (dc > 3 || !defined[0][dc])) return refuse();
        if (needs_ac && (ac > 3 || !defined[1][ac])) return refuse();
      }
    }
    return true;
  };
  // The whole-file walk passes over the entropy-coded data after each scan header to the next marker.
  const platform::JpegWalkEnd walk_end =
      platform::WalkJpegSegments(platform::ReadFromMemory(data, size), platform::JpegWalk::kWholeFile, check);
  return refused || walk_end == platform::JpegWalkEnd::kBadLength ? JpegCheck::kRefused : JpegCheck::kFits;
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

// Both encoders open the file with the JFIF segment: FF D8, FF E0, length 16, "JFIF\0", version (2 bytes),
// units, X density, Y density (2 bytes each, big-endian). Neither lets the caller choose the density, so
// it is set in those bytes: units 1 (dots per inch) and the density on both axes.
constexpr size_t kJfifHeaderBytes = 18;
// The whole JFIF segment with SOI before it (the thumbnail size, 0 x 0, ends it): a colour profile's
// segments follow it.
constexpr size_t kJfifSegmentBytes = 20;

void SetJfifDensity(uint8_t* bytes, size_t size, int density_dpi) {
  static constexpr uint8_t kStart[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  if (density_dpi < 1 || density_dpi > 0xFFFF || size < kJfifHeaderBytes) return;
  if (std::memcmp(bytes, kStart, sizeof kStart) != 0) return;
  bytes[13] = 1;
  bytes[14] = bytes[16] = static_cast<uint8_t>(density_dpi >> 8);
  bytes[15] = bytes[17] = static_cast<uint8_t>(density_dpi & 0xFF);
}

// The stb writer's sink: remembers a short write so that it can be reported after encoding, and sets the
// density in the first piece (stb writes its whole JFIF segment at once).
struct JpegSink {
  std::FILE* file = nullptr;
  bool failed = false;
  int density_dpi = 0;
  bool first = true;
  const std::vector<uint8_t>* icc_segments = nullptr;  // written after the JFIF header
};

bool WriteAll(std::FILE* file, const uint8_t* bytes, size_t size) {
  return size == 0 || std::fwrite(bytes, 1, size, file) == size;
}

void WriteToSink(void* context, void* data, int size) {
  auto* sink = static_cast<JpegSink*>(context);
  if (sink->failed || size <= 0) return;
  uint8_t head[kJfifHeaderBytes];
  if (sink->first && static_cast<size_t>(size) >= kJfifSegmentBytes) {
    std::memcpy(head, data, sizeof head);
    SetJfifDensity(head, sizeof head, sink->density_dpi);
    const uint8_t* rest = static_cast<uint8_t*>(data) + sizeof head;
    if (!WriteAll(sink->file, head, sizeof head) || !WriteAll(sink->file, rest, kJfifSegmentBytes - sizeof head) ||
        (sink->icc_segments != nullptr &&
         !WriteAll(sink->file, sink->icc_segments->data(), sink->icc_segments->size()))) {
      sink->failed = true;
    }
    data = static_cast<uint8_t*>(data) + kJfifSegmentBytes;
    size -= static_cast<int>(kJfifSegmentBytes);
  }
  sink->first = false;
  if (size > 0 && std::fwrite(data, 1, static_cast<size_t>(size), sink->file) != static_cast<size_t>(size)) {
    sink->failed = true;
  }
}

bool WriteWithStb(const ImageBuffer& image, const std::string& utf8_path, int quality, int density_dpi,
                  const std::vector<uint8_t>& icc_segments) {
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
  JpegSink sink{file->stream(), false, density_dpi, true, &icc_segments};
  const int encoded =
      stbi_write_jpg_to_func(WriteToSink, &sink, image.width(), image.height(), 3, rgb.get(), quality);
  return encoded != 0 && !sink.failed && file->Commit();
}

bool WriteWithTurbo(ImageCodec::State& state, const ImageBuffer& image, const std::string& utf8_path,
                    int quality, int density_dpi, const std::vector<uint8_t>& icc_segments) {
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
  SetJfifDensity(output, output_size, density_dpi);
  std::optional<OutputFile> file = OutputFile::Create(utf8_path);
  if (!file) return false;
  // The encoder's output starts with SOI and its JFIF segment; the profile's segments follow them.
  const size_t head = output_size >= kJfifSegmentBytes ? kJfifSegmentBytes : 0;
  return WriteAll(file->stream(), output, head) && WriteAll(file->stream(), icc_segments.data(), icc_segments.size()) &&
         WriteAll(file->stream(), output + head, output_size - head) && file->Commit();
}

}  // namespace

std::optional<Picture> LoadPicture(const std::string& utf8_path, ImageCodec& codec, const ScaleNeed& need) {
  ImageCodec::State& state = codec.state();
  if (!ReadWholeFile(utf8_path, state.file_bytes, kMaxFileBytes)) return std::nullopt;
  const std::vector<uint8_t>& bytes = state.file_bytes;
  // Nothing parses the file before this check: stb's size query already reads the Huffman tables.
  const JpegCheck check = CheckJpegMarkers(bytes.data(), bytes.size());
  if (check == JpegCheck::kRefused) return std::nullopt;
  const int orientation = ExifOrientationFromBytes(bytes.data(), bytes.size());

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

bool WriteJpeg(const ImageBuffer& image, const std::string& utf8_path, int quality, ImageCodec& codec,
               int density_dpi, const std::vector<uint8_t>& icc_segments) {
  if (image.empty()) return false;
  if (quality == 0) quality = 90;
  quality = std::clamp(quality, 1, 100);
  if (codec.path() == CodecPath::kFast) {
    return WriteWithTurbo(codec.state(), image, utf8_path, quality, density_dpi, icc_segments);
  }
  return WriteWithStb(image, utf8_path, quality, density_dpi, icc_segments);
}

}  // namespace mosalith
