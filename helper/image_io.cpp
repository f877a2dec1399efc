// Photo and frame loading through the image core, sheet writing through its JPEG encoder.
#include "helper/image_io.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <optional>

#include "helper/file_open.h"
#include "imaging/decode.h"
#include "imaging/encode.h"

namespace mosalith {

uint64_t HelperMemoryBudgetBytes(const char* helper_megabytes, const char* application_megabytes) {
  const bool helper_set = helper_megabytes != nullptr && *helper_megabytes != '\0';
  return imaging::MemoryBudgetBytesFromEnvironment(helper_set ? helper_megabytes : application_megabytes);
}

base::StatusOr<Picture> LoadPicture(const std::string& utf8_path, ImageCodec& codec, const ScaleNeed& need) {
  std::vector<uint8_t>& bytes = codec.file_bytes();
  if (!ReadWholeFile(utf8_path, bytes, kMaxFileBytes)) {
    // Opening tells nothing finer (a missing file, a folder, a FIFO): the person needs to pick it again.
    return base::Status::NotFound("file not found");
  }
  // The file's bytes are held while the picture decodes: they draw on the budget as its pixels do.
  std::optional<imaging::MemoryHold> file_memory = imaging::MemoryHold::Take(codec.budget(), bytes.size());
  if (!file_memory) return base::Status::OutOfMemory("out of memory");
  base::StatusOr<imaging::PictureInfo> info = imaging::ReadPictureInfo(bytes.data(), bytes.size());
  if (!info.ok()) return info.status();
  imaging::DecodeRequest request;
  request.purpose = imaging::DecodePurpose::kPrint;
  if (need) {
    const bool swapped = imaging::OrientationSwapsSides(info->orientation);
    const double scale = swapped ? need(info->height_px, info->width_px) : need(info->width_px, info->height_px);
    if (scale > 0 && scale < 1) {
      request.min_width_px = std::max(1, static_cast<int>(std::ceil(info->width_px * scale)));
      request.min_height_px = std::max(1, static_cast<int>(std::ceil(info->height_px * scale)));
    }
  }
  base::StatusOr<imaging::DecodedPicture> decoded =
      imaging::DecodePicture(bytes.data(), bytes.size(), request, codec.budget());
  if (!decoded.ok()) return decoded.status();
  Picture picture;
  picture.pixels = std::move(decoded->bitmap);
  picture.stored_width_px = decoded->info.width_px;
  picture.stored_height_px = decoded->info.height_px;
  picture.orientation = decoded->info.orientation;
  picture.colour = std::move(decoded->colour);
  return picture;
}

bool WriteJpeg(const imaging::Bitmap& image, const std::string& utf8_path, int quality, ImageCodec& codec,
               int density_dpi, const std::vector<uint8_t>& icc_segments) {
  if (image.empty()) return false;
  if (quality == 0) quality = 90;
  quality = std::clamp(quality, 1, 100);
  base::StatusOr<std::vector<uint8_t>> encoded = imaging::EncodeJpeg(image, quality, density_dpi, codec.budget());
  if (!encoded.ok()) return false;
  std::optional<OutputFile> file = OutputFile::Create(utf8_path);
  if (!file) return false;
  // The encoder's output starts with SOI and its JFIF segment (20 bytes); the profile's segments follow.
  constexpr size_t kJfifSegmentBytes = 20;
  const std::vector<uint8_t>& bytes = *encoded;
  const size_t head = icc_segments.empty() || bytes.size() < kJfifSegmentBytes ? bytes.size() : kJfifSegmentBytes;
  const auto write = [&file](const uint8_t* data, size_t size) {
    return size == 0 || std::fwrite(data, 1, size, file->stream()) == size;
  };
  return write(bytes.data(), head) && write(icc_segments.data(), icc_segments.size()) &&
         write(bytes.data() + head, bytes.size() - head) && file->Commit();
}

}  // namespace mosalith
