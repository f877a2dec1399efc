// Fuzzes the one picture header reader on hostile files: the JPEG header walk and the whole-file walk
// (through the entropy-coded data), PNG chunks, the EXIF directory (orientation, resolution) read
// directly too, libexif on the EXIF block the reader finds, the EXIF date parser on the strings libexif
// returns, and the check of which JPEG files the PDF pages carry as stored. Any crash, leak or undefined
// behaviour is a finding; results are checked for the reader's promises (sizes, orientation range,
// bounded EXIF, positive finite resolutions).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "imaging/decode.h"
#include "platform/cairo_pdf/jpeg_for_pdf.h"
#include "platform/libexif/libexif_metadata_reader.h"
#include "imaging/header/exif_directory.h"
#include "imaging/header/jpeg_segments.h"
#include "imaging/header/picture_header.h"
#include "runner/insight/capture_time.h"

namespace {

void CheckResolution(const std::optional<imaging::PictureResolution>& resolution) {
  if (!resolution) return;
  if (!(std::isfinite(resolution->x_dpi) && resolution->x_dpi > 0 && std::isfinite(resolution->y_dpi) &&
        resolution->y_dpi > 0)) {
    std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The one decoder, for print and for looking, within a budget: what it gives matches its header, and
  // every pixel is defined (the sanitizers and the sum below read them all).
  imaging::MemoryBudget budget(uint64_t{256} << 20);
  for (imaging::DecodePurpose purpose : {imaging::DecodePurpose::kPrint, imaging::DecodePurpose::kShow}) {
    imaging::DecodeRequest request;
    request.purpose = purpose;
    request.min_width_px = request.min_height_px = purpose == imaging::DecodePurpose::kShow ? 64 : 0;
    base::StatusOr<imaging::DecodedPicture> decoded = imaging::DecodePicture(data, size, request, &budget);
    if (!decoded.ok()) continue;
    if (decoded->bitmap.empty() ||
        decoded->bitmap.rgba.size() != size_t{4} * decoded->bitmap.width_px * decoded->bitmap.height_px) {
      std::abort();
    }
    unsigned sum = 0;
    for (uint8_t byte : decoded->bitmap.rgba) sum += byte;
    if (sum == 0xFFFFFFFFu) std::abort();  // never: keeps the read
  }

  // The bytes as a TIFF block and as an APP1 payload, straight into the directory reader.
  const imaging::ExifDirectoryFacts facts = imaging::ReadExifDirectory(data, size);
  if (facts.orientation < 1 || facts.orientation > 8) std::abort();
  CheckResolution(facts.resolution);

  // The whole-file walk, as the helper's marker check runs it; every segment lies after the last.
  uint64_t last = 0;
  imaging::WalkJpegSegments(imaging::ReadFromMemory(data, size), imaging::JpegWalk::kWholeFile,
                             [&last](const imaging::JpegSegment& segment) {
                               if (segment.payload_offset <= last) std::abort();
                               last = segment.payload_offset;
                               return true;
                             });

  std::optional<imaging::PictureHeader> header = imaging::ReadPictureHeader(data, size);
  if (!header) return 0;
  if (header->width_px <= 0 || header->height_px <= 0) std::abort();
  if (header->orientation < 1 || header->orientation > 8) std::abort();
  if (header->exif.size() > imaging::kMaxPngExifBytes + 6) std::abort();
  CheckResolution(header->resolution);
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
