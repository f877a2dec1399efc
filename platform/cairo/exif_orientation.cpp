// The EXIF orientation of a JPEG through libexif, reporting only what the file stores.
#include <libexif/exif-data.h>

#include "platform/cairo/codecs.h"

namespace platform::codecs {
namespace {

struct ExifDataHolder {
  ExifData* data = exif_data_new();
  ~ExifDataHolder() {
    if (data) exif_data_unref(data);
  }
};

}  // namespace

int JpegOrientation(const std::vector<uint8_t>& bytes) {
  ExifDataHolder exif;
  if (!exif.data) return 1;
  // By default libexif adds the entries the standard requires when they are missing; only what the
  // file stores counts here.
  exif_data_unset_option(exif.data, EXIF_DATA_OPTION_FOLLOW_SPECIFICATION);
  exif_data_load_data(exif.data, bytes.data(), static_cast<unsigned int>(bytes.size()));
  ExifEntry* entry = exif_content_get_entry(exif.data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (!entry || entry->format != EXIF_FORMAT_SHORT || entry->components < 1 || entry->size < 2) return 1;
  const int value = exif_get_short(entry->data, exif_data_get_byte_order(exif.data));
  return value >= 1 && value <= 8 ? value : 1;
}

}  // namespace platform::codecs
