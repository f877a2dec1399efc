// Reading a JPEG or PNG file's header: the first frame's size and, for JPEG, the EXIF segment's bytes.
//
// Pure code over a read-at-offset function, so hostile files can be tested from memory. Every length in
// the file is checked against what the file holds before it is used; nothing is allocated from a length
// the file states beyond one EXIF segment (at most 65533 bytes).
//
// JPEG: segments are walked from the start of image to the start of scan (the image data), skipping fill
// bytes. The first start-of-frame segment gives the size; the first APP1 segment whose payload starts
// with "Exif\0\0" gives the EXIF bytes, wherever it sits before the image data. The walk ends at the
// start of scan, the end of the image, the end of the file, or bytes that are not a marker; whatever was
// found by then counts, so a truncated or damaged tail after the frame header still answers its size.
// PNG: the signature, then the IHDR chunk, which must come first.
// Thread safety: re-entrant.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/metadata_reader.h"

namespace platform {

// Reads up to `length` bytes at `offset` into `out`; returns how many were read (fewer only at the end of
// the file), or -1 on a read error.
using ReadAtFunction = std::function<int64_t(uint64_t offset, size_t length, uint8_t* out)>;

struct PictureHeader {
  PictureFormat format = PictureFormat::kJpeg;
  int width_px = 0;
  int height_px = 0;
  std::vector<uint8_t> exif;  // the APP1 payload, starting with "Exif\0\0"; empty when there is none
  // JPEG: the frame is progressive (its decoder keeps every coefficient of the picture in memory).
  bool progressive = false;
};

// The header of the file that `read` reads, or nothing with `*status` (when given) kUnknownFormat (not a
// JPEG or PNG, no frame header before the image data, a zero or oversized side) or kUnreadable (a read
// error).
std::optional<PictureHeader> ReadPictureHeader(const ReadAtFunction& read, MetadataStatus* status = nullptr);

}  // namespace platform
