// LibexifMetadataReader: the header through the image core's reader over a windowed file; libexif for
// the EXIF dates.
#include "platform/libexif/libexif_metadata_reader.h"

#include <memory>

#include <libexif/exif-data.h>

#include "imaging/decode.h"
#include "platform/portable/picture_file.h"

namespace platform {
namespace {

struct ExifDataUnref {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifDataHolder = std::unique_ptr<ExifData, ExifDataUnref>;

std::optional<std::string> AsciiValue(ExifContent* content, ExifTag tag) {
  ExifEntry* entry = content ? exif_content_get_entry(content, tag) : nullptr;
  if (entry == nullptr || entry->format != EXIF_FORMAT_ASCII) return std::nullopt;
  if (entry->data == nullptr || entry->size == 0) return std::string();
  // The stored bytes need not end in NUL: copy exactly what is stored, then stop at the first NUL.
  std::string text(reinterpret_cast<const char*>(entry->data), entry->size);
  const size_t nul = text.find('\0');
  if (nul != std::string::npos) text.resize(nul);
  return text;
}

}  // namespace

void ReadExifTags(const std::vector<uint8_t>& exif, PictureMetadata* metadata) {
  if (exif.empty()) return;
  ExifDataHolder data(exif_data_new());
  if (!data) return;
  exif_data_unset_option(data.get(), EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(data.get(), exif.data(), static_cast<unsigned int>(exif.size()));

  metadata->date_time_original = AsciiValue(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_DATE_TIME_ORIGINAL);
  metadata->date_time = AsciiValue(data->ifd[EXIF_IFD_0], EXIF_TAG_DATE_TIME);
}

std::optional<PictureMetadata> LibexifMetadataReader::Read(const std::string& path, imaging::MetadataStatus* status) const {
  PictureFileError error = PictureFileError::kNone;
  std::unique_ptr<PictureFile> file = PictureFile::Open(path, &error);
  if (!file) {
    if (status) *status = error == PictureFileError::kNotFound ? imaging::MetadataStatus::kNotFound : imaging::MetadataStatus::kUnreadable;
    return std::nullopt;
  }
  base::StatusOr<imaging::PictureInfo> header = imaging::ReadPictureInfo(file->Reader(), file->size_bytes());
  if (!header.ok()) {
    if (status) {
      *status = header.status().Is(base::Status::Code::kIoError) ? imaging::MetadataStatus::kUnreadable
                                                                 : imaging::MetadataStatus::kUnknownFormat;
    }
    return std::nullopt;
  }
  if (status) *status = imaging::MetadataStatus::kOk;
  PictureMetadata metadata;
  metadata.format = header->format;
  metadata.width_px = header->width_px;
  metadata.height_px = header->height_px;
  metadata.orientation = header->orientation;
  metadata.resolution = header->resolution;
  ReadExifTags(header->exif, &metadata);
  return metadata;
}

}  // namespace platform
