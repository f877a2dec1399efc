// OpenPicture: a picture file opened and its header read by the one picture reader, with failures as the
// Graphics port's statuses; shared by the Graphics adapters of both platforms (PictureFile has a POSIX
// and a Windows implementation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/graphics.h"
#include "platform/posix/picture_file.h"

namespace platform {

// Files above this size are not read as pictures (a 200-megapixel JPEG is far smaller).
inline constexpr size_t kMaxPictureFileBytes = size_t{512} << 20;

// The status for a PictureFile error (`error_number` is the errno of kIo).
GraphicsStatus StatusFor(PictureFileError error, int error_number);

// `path` opened and its header read: kOk with `*file` and `*info` set, or the failing status (as
// Graphics::ReadInfo lists them).
GraphicsStatus OpenPicture(const std::string& path, std::unique_ptr<PictureFile>* file, ImageInfo* info);

// Graphics::ReadInfo over OpenPicture: `*info` is written only on kOk.
GraphicsStatus ReadPictureInfo(const std::string& path, ImageInfo* info);

// The sizes a picture of width_px x height_px is decoded at before any exact reduction, by the rule of
// DecodeOptions: a JPEG at the smallest M/8 scale (M = 1..8, sides rounded up) that is at least
// min_width_px x min_height_px, a PNG reduced by the largest whole factor that still covers that size;
// the stored size when either minimum is 0 or below, or nothing smaller covers it.
void DecodeSize(ImageFormat format, int width_px, int height_px, int min_width_px, int min_height_px,
                int* decode_width_px, int* decode_height_px);

// What an adapter's pixel decoder is asked for: the whole file and its header, and the size to decode at
// least (the exact size when `exact`; DecodePicture then reduces whatever the decoder gives to it).
struct PixelRequest {
  const std::vector<uint8_t>& bytes;
  const ImageInfo& info;
  int min_width_px = 0;
  int min_height_px = 0;
  bool exact = false;
};
using PixelDecoder = std::function<GraphicsStatus(const PixelRequest& request, Bitmap* out)>;

// Graphics::Decode for every adapter: the file opened and its header read, its bytes read whole (up to
// kMaxPictureFileBytes), the adapter's `decode` called, and the result reduced to an exact size asked for.
GraphicsStatus DecodePicture(const std::string& path, const DecodeOptions& options, const PixelDecoder& decode,
                             DecodedImage* out);

}  // namespace platform
