// BMP, TGA and PSD through stb_image: the header through its size query, the pixels decoded whole.
#include <stb/stb_image.h>

#include <climits>
#include <memory>
#include <vector>

#include "imaging/codecs/codec.h"

namespace imaging::codecs {
namespace {

// The size query reads only a header; 64 KiB holds any header of these formats.
constexpr size_t kHeaderBytes = 64 * 1024;

struct StbFree {
  void operator()(stbi_uc* pixels) const { stbi_image_free(pixels); }
};

}  // namespace

base::StatusOr<PictureInfo> ReadStbInfo(const ReadAtFunction& read, PictureFormat format) {
  std::vector<uint8_t> start(kHeaderBytes);
  const int64_t got = read(0, start.size(), start.data());
  if (got < 0) return base::Status::IoError("read error");
  int width = 0, height = 0, channels = 0;
  if (!stbi_info_from_memory(start.data(), static_cast<int>(got), &width, &height, &channels)) return Damaged();
  PictureInfo info;
  info.format = format;
  info.width_px = width;
  info.height_px = height;
  return info;
}

base::Status DecodeWithStb(const Input& input, RowSink& sink, ColourDescription*) {
  if (input.size > static_cast<size_t>(INT_MAX)) return TooLarge();
  // Run-length coding, the best these formats have, packs at most 128 pixels into a byte or two: a file
  // far smaller than that cannot hold the picture it claims.
  const uint64_t pixels = uint64_t{static_cast<uint32_t>(input.info->width_px)} * static_cast<uint32_t>(input.info->height_px);
  if (pixels > uint64_t{input.size} * 256) return Damaged();
  std::optional<MemoryHold> hold;
  if (base::Status status = HoldWorkingMemory(input.budget, pixels * 4, &hold); !status.ok()) return status;
  int width = 0, height = 0, channels = 0;
  std::unique_ptr<stbi_uc, StbFree> decoded(
      stbi_load_from_memory(input.data, static_cast<int>(input.size), &width, &height, &channels, 4));
  if (!decoded || width != input.info->width_px || height != input.info->height_px) return Damaged();
  if (base::Status status = sink.Begin(width, height); !status.ok()) return status;
  for (int y = 0; y < height; ++y) sink.Row(decoded.get() + static_cast<size_t>(y) * width * 4);
  return base::Status::Ok();
}

}  // namespace imaging::codecs
