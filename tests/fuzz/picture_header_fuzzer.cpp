// Fuzzes the quick-metadata path on hostile files: the JPEG/PNG header walk (the stated resolution
// included), libexif on the EXIF block it finds, the EXIF date parser on the strings libexif returns, and
// the check of which JPEG files the PDF pages carry as stored. Any crash, leak or undefined
// behaviour is a finding; the results themselves are only checked for consistency.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/cairo_pdf/jpeg_for_pdf.h"
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
  if (header->resolution && !(header->resolution->x_dpi > 0 && header->resolution->y_dpi > 0)) std::abort();
  std::vector<uint8_t> bytes(data, data + size);
  // Taking fill bytes out never adds bytes, and a refused file is left as it was.
  const platform::JpegForPdf check = platform::PrepareJpegForPdf(&bytes, header->width_px, header->height_px);
  if (bytes.size() > size || (!check.embeddable && !std::equal(bytes.begin(), bytes.end(), data))) std::abort();
  platform::PictureMetadata metadata;
  platform::ReadExifTags(header->exif, &metadata);
  for (const auto& text : {metadata.date_time_original, metadata.date_time}) {
    if (text) (void)runner::insight::ParseExifDateTimeMillis(*text);
  }
  return 0;
}
