// HEIF (HEIC) and AVIF through libheif: the primary picture, decoded with the file's own turns and
// mirrors applied (irot, imir), its EXIF block and its colr profile.
#include <libheif/heif.h>

#include <cstring>
#include <memory>
#include <vector>

#include "imaging/codecs/codec.h"

namespace imaging::codecs {
namespace {

constexpr uint8_t kExifSignature[6] = {'E', 'x', 'i', 'f', 0, 0};

struct ContextFree {
  void operator()(heif_context* context) const { heif_context_free(context); }
};
struct HandleRelease {
  void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct ImageRelease {
  void operator()(heif_image* image) const { heif_image_release(image); }
};
using Context = std::unique_ptr<heif_context, ContextFree>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;
using Image = std::unique_ptr<heif_image, ImageRelease>;

// A file read through a read-at function, as libheif's reader sees it.
struct Stream {
  const ReadAtFunction* read;
  uint64_t size;
  uint64_t position = 0;
};

int64_t Position(void* user) { return static_cast<int64_t>(static_cast<Stream*>(user)->position); }
int Read(void* out, size_t length, void* user) {
  auto* stream = static_cast<Stream*>(user);
  if ((*stream->read)(stream->position, length, static_cast<uint8_t*>(out)) != static_cast<int64_t>(length)) return 1;
  stream->position += length;
  return 0;
}
int Seek(int64_t position, void* user) {
  if (position < 0) return 1;
  static_cast<Stream*>(user)->position = static_cast<uint64_t>(position);
  return 0;
}
heif_reader_grow_status WaitForSize(int64_t target, void* user) {
  return target >= 0 && static_cast<uint64_t>(target) <= static_cast<Stream*>(user)->size
             ? heif_reader_grow_status_size_reached
             : heif_reader_grow_status_size_beyond_eof;
}

constexpr heif_reader kReader = {1, Position, Read, Seek, WaitForSize};

// The primary picture's handle of the file `stream` reads; null when libheif refuses the file.
Handle OpenPrimary(Context& context, Stream& stream) {
  context.reset(heif_context_alloc());
  if (!context) return nullptr;
  if (heif_context_read_from_reader(context.get(), &kReader, &stream, nullptr).code != heif_error_Ok) return nullptr;
  heif_image_handle* handle = nullptr;
  if (heif_context_get_primary_image_handle(context.get(), &handle).code != heif_error_Ok) return nullptr;
  return Handle(handle);
}

// The EXIF item in its JPEG form: the item starts with the offset of its TIFF header, big-endian.
std::vector<uint8_t> ExifOf(heif_image_handle* handle) {
  heif_item_id id = 0;
  if (heif_image_handle_get_list_of_metadata_block_IDs(handle, "Exif", &id, 1) != 1) return {};
  const size_t size = heif_image_handle_get_metadata_size(handle, id);
  if (size < 4 || size > (size_t{1} << 20)) return {};
  std::vector<uint8_t> item(size);
  if (heif_image_handle_get_metadata(handle, id, item.data()).code != heif_error_Ok) return {};
  const uint64_t offset = uint64_t{item[0]} << 24 | uint64_t{item[1]} << 16 | uint64_t{item[2]} << 8 | item[3];
  if (offset > size - 4) return {};
  std::vector<uint8_t> exif(kExifSignature, kExifSignature + sizeof kExifSignature);
  const uint8_t* tiff = item.data() + 4 + offset;
  const size_t tiff_size = size - 4 - static_cast<size_t>(offset);
  // The offset usually points at the JPEG signature itself.
  if (tiff_size >= sizeof kExifSignature && std::memcmp(tiff, kExifSignature, sizeof kExifSignature) == 0) {
    exif.clear();
  }
  exif.insert(exif.end(), tiff, tiff + tiff_size);
  return exif;
}

PictureInfo InfoOf(heif_image_handle* handle) {
  PictureInfo info;
  // The size after the file's own transforms, which libheif applies while decoding: the picture comes
  // out upright, so its orientation is 1 whatever an EXIF block inside says.
  info.width_px = heif_image_handle_get_width(handle);
  info.height_px = heif_image_handle_get_height(handle);
  info.orientation = 1;
  info.exif = ExifOf(handle);
  return info;
}

}  // namespace

bool HeifDecoderAvailable(PictureFormat format) {
  if (format == PictureFormat::kAvif) return heif_have_decoder_for_format(heif_compression_AV1) != 0;
  return heif_have_decoder_for_format(heif_compression_HEVC) != 0;
}

base::StatusOr<PictureInfo> ReadHeifInfo(const ReadAtFunction& read, uint64_t size_bytes) {
  Stream stream{&read, size_bytes};
  Context context;
  Handle handle = OpenPrimary(context, stream);
  if (!handle) return Damaged();
  try {
    return InfoOf(handle.get());
  } catch (const std::bad_alloc&) {
    return NoMemory();
  }
}

base::Status DecodeHeif(const Input& input, RowSink& sink, ColourDescription* colour) {
  const ReadAtFunction read = ReadFromMemory(input.data, input.size);
  Stream stream{&read, input.size};
  Context context;
  Handle handle = OpenPrimary(context, stream);
  if (!handle) return Damaged();
  const heif_color_profile_type profile = heif_image_handle_get_color_profile_type(handle.get());
  if (profile == heif_color_profile_type_prof || profile == heif_color_profile_type_rICC) {
    const size_t size = heif_image_handle_get_raw_color_profile_size(handle.get());
    if (size > 0 && size <= (size_t{16} << 20)) {
      colour->icc_profile.resize(size);
      if (heif_image_handle_get_raw_color_profile(handle.get(), colour->icc_profile.data()).code != heif_error_Ok) {
        colour->icc_profile.clear();
      }
    }
  }
  const int width = input.info->width_px, height = input.info->height_px;
  // libheif holds the whole picture while it decodes: its coded planes (one and a half bytes a pixel at
  // 4:2:0) and the RGBA result.
  std::optional<MemoryHold> hold;
  const uint64_t pixels = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height);
  if (base::Status status = HoldWorkingMemory(input.budget, pixels * 6, &hold); !status.ok()) return status;
  heif_image* decoded = nullptr;
  if (heif_decode_image(handle.get(), &decoded, heif_colorspace_RGB, heif_chroma_interleaved_RGBA, nullptr).code !=
      heif_error_Ok) {
    return Damaged();
  }
  Image image(decoded);
  int stride = 0;
  const uint8_t* plane = heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
  if (plane == nullptr || heif_image_get_width(image.get(), heif_channel_interleaved) != width ||
      heif_image_get_height(image.get(), heif_channel_interleaved) != height) {
    return Damaged();
  }
  if (base::Status status = sink.Begin(width, height); !status.ok()) return status;
  for (int y = 0; y < height; ++y) sink.Row(plane + static_cast<size_t>(y) * stride);
  return base::Status::Ok();
}

}  // namespace imaging::codecs
