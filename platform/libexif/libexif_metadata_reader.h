// LibexifMetadataReader: the MetadataReader over the one picture header reader and libexif for the EXIF
// dates (libexif is given the EXIF block only, never the file).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/metadata_reader.h"

namespace platform {

// The dates stored in an EXIF block (the APP1 payload, "Exif\0\0" first) into `metadata`.
// libexif runs with its option that fills in the entries the EXIF standard calls mandatory switched off,
// so that it reports only what the file stores. A block libexif cannot read adds nothing.
void ReadExifTags(const std::vector<uint8_t>& exif, PictureMetadata* metadata);

// Thread safety: every method may be called from any thread at once (each call has its own libexif data).
class LibexifMetadataReader : public MetadataReader {
 public:
  std::optional<PictureMetadata> Read(const std::string& path, imaging::MetadataStatus* status = nullptr) const override;
};

}  // namespace platform
