// Fuzzes the quick-metadata path on hostile files: the JPEG/PNG header walk, libexif on the EXIF block
// it finds, and the EXIF date parser on the strings libexif returns. Any crash, leak or undefined
// behaviour is a finding; the results themselves are only checked for consistency.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "platform/libexif/libexif_metadata_reader.h"
#include "platform/libexif/picture_header.h"
#include "runner/insight/capture_time.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const platform::ReadAtFunction read = [data, size](uint64_t offset, size_t length, uint8_t* out) -> int64_t {
    if (offset >= size) return 0;
    const size_t take = length < size - offset ? length : static_cast<size_t>(size - offset);
    std::memcpy(out, data + offset, take);
    return static_cast<int64_t>(take);
  };
  std::optional<platform::PictureHeader> header = platform::ReadPictureHeader(read);
  if (!header) return 0;
  if (header->width_px <= 0 || header->height_px <= 0 || header->exif.size() > 65533) std::abort();
  platform::PictureMetadata metadata;
  platform::ReadExifTags(header->exif, &metadata);
  for (const auto& text : {metadata.date_time_original, metadata.date_time}) {
    if (text) (void)runner::insight::ParseExifDateTimeMillis(*text);
  }
  return 0;
}
