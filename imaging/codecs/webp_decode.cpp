// WebP through libwebp: the size from its feature query, the EXIF and ICCP chunks from the RIFF chunk
// list, the pixels decoded whole to RGBA.
#include <webp/decode.h>

#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include "imaging/codecs/codec.h"
#include "imaging/header/exif_directory.h"

namespace imaging::codecs {
namespace {

uint32_t LittleEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

constexpr uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
// Larger EXIF or ICC chunks are not read (a JPEG's EXIF block cannot pass 64 KiB; profiles are smaller).
constexpr uint32_t kMaxChunkBytes = 4u << 20;

// The first chunk named `fourcc` of the RIFF chunk list, or nothing. Chunk data is padded to an even
// length; a chunk that runs past the file ends the walk.
base::StatusOr<std::vector<uint8_t>> FindChunk(const ReadAtFunction& read, uint64_t size_bytes, const char* fourcc) {
  std::vector<uint8_t> found;
  for (uint64_t at = 12; at + 8 <= size_bytes;) {
    uint8_t header[8];
    if (read(at, sizeof header, header) != static_cast<int64_t>(sizeof header)) break;
    const uint32_t length = LittleEndian32(header + 4);
    if (std::memcmp(header, fourcc, 4) == 0) {
      if (length > kMaxChunkBytes || at + 8 + length > size_bytes) break;
      found.resize(length);
      if (read(at + 8, length, found.data()) != static_cast<int64_t>(length)) return base::Status::IoError("read error");
      break;
    }
    at += 8 + uint64_t{length} + (length & 1);
  }
  return found;
}

}  // namespace

base::StatusOr<PictureInfo> ReadWebpInfo(const ReadAtFunction& read, uint64_t size_bytes) {
  uint8_t start[64];
  const int64_t got = read(0, sizeof start, start);
  if (got < 0) return base::Status::IoError("read error");
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(start, static_cast<size_t>(got), &features) != VP8_STATUS_OK) return Damaged();
  if (features.has_animation) return base::Status::Unsupported("unsupported format animated WebP");
  PictureInfo info;
  info.format = PictureFormat::kWebp;
  info.width_px = features.width;
  info.height_px = features.height;
  base::StatusOr<std::vector<uint8_t>> exif = FindChunk(read, size_bytes, "EXIF");
  if (!exif.ok()) return exif.status();
  if (!exif->empty()) {
    // Stored as the TIFF block, sometimes with the JPEG signature in front; carried in the JPEG form.
    if (exif->size() < sizeof kExifSignature || std::memcmp(exif->data(), kExifSignature, sizeof kExifSignature) != 0) {
      exif->insert(exif->begin(), kExifSignature, kExifSignature + sizeof kExifSignature);
    }
    const ExifDirectoryFacts facts = ReadExifBlock(exif->data(), exif->size());
    info.orientation = facts.orientation;
    info.resolution = facts.resolution;
    info.exif = std::move(*exif);
  }
  return info;
}

base::Status DecodeWebp(const Input& input, RowSink& sink, ColourDescription* colour) {
  const ReadAtFunction read = ReadFromMemory(input.data, input.size);
  base::StatusOr<std::vector<uint8_t>> icc = FindChunk(read, input.size, "ICCP");
  if (icc.ok()) colour->icc_profile = std::move(*icc);
  const int width = input.info->width_px, height = input.info->height_px;
  // A lossy frame codes at least a bit for every 16 x 16 macroblock; a lossless one has no such floor
  // (its back references can repeat a pixel for the whole picture), so only the budget bounds it.
  WebPBitstreamFeatures features;
  if (WebPGetFeatures(input.data, input.size, &features) != VP8_STATUS_OK) return Damaged();
  const uint64_t count = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height);
  if (features.format == 1 && count > uint64_t{input.size} * 8 * 256) return Damaged();
  const uint64_t bytes = 4 * count;
  std::optional<MemoryHold> hold;
  if (base::Status status = HoldWorkingMemory(input.budget, bytes, &hold); !status.ok()) return status;
  // Left unset: the decoder writes every row before it is read, and only those rows are.
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[static_cast<size_t>(bytes)]);
  if (!pixels) return NoMemory();
  WebPDecoderConfig config;
  if (!WebPInitDecoderConfig(&config)) return base::Status::Failed("libwebp version mismatch");
  config.output.colorspace = MODE_RGBA;
  config.output.is_external_memory = 1;
  config.output.u.RGBA.rgba = pixels.get();
  config.output.u.RGBA.stride = width * 4;
  config.output.u.RGBA.size = static_cast<size_t>(bytes);
  // A lossy frame's loop filter runs on a second thread, beside the decoding of the next rows.
  config.options.use_threads = 1;
  // Incremental decoding keeps the rows a cut file still holds; a whole decode would give none of them.
  std::unique_ptr<WebPIDecoder, void (*)(WebPIDecoder*)> decoder(WebPIDecode(nullptr, 0, &config), WebPIDelete);
  if (!decoder) return NoMemory();
  const VP8StatusCode code = WebPIUpdate(decoder.get(), input.data, input.size);
  int last_row = 0;
  WebPIDecGetRGB(decoder.get(), &last_row, nullptr, nullptr, nullptr);
  if (code != VP8_STATUS_OK && last_row <= 0) return Damaged();
  if (base::Status status = sink.Begin(width, height); !status.ok()) return status;
  for (int y = 0; y < last_row && y < height; ++y) sink.Row(pixels.get() + static_cast<size_t>(y) * width * 4);
  return code == VP8_STATUS_OK ? base::Status::Ok() : Damaged();
}

}  // namespace imaging::codecs
