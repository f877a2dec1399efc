// The EXIF orientation reader: a bounded walk over the JPEG segments and the first TIFF directory.
#include "helper/exif_orientation.h"

#include <cstdio>
#include <vector>

#include "helper/file_open.h"

namespace mosalith {
namespace {

constexpr int kUpright = 1;
constexpr uint16_t kOrientationTag = 0x0112;
constexpr size_t kTiffEntryBytes = 12;

// A byte range with reads that refuse to pass its end. Offsets are checked before any addition that
// could wrap, so hostile 32-bit offsets simply fail.
class BoundedReader {
 public:
  BoundedReader(const uint8_t* data, size_t size, bool little_endian)
      : data_(data), size_(size), little_endian_(little_endian) {}

  bool U16(size_t offset, uint16_t* value) const {
    if (offset > size_ || size_ - offset < 2) return false;
    const uint8_t* p = data_ + offset;
    *value = little_endian_ ? static_cast<uint16_t>(p[0] | (p[1] << 8))
                            : static_cast<uint16_t>((p[0] << 8) | p[1]);
    return true;
  }

  bool U32(size_t offset, uint32_t* value) const {
    if (offset > size_ || size_ - offset < 4) return false;
    const uint8_t* p = data_ + offset;
    *value = little_endian_
                 ? (uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24))
                 : ((uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | uint32_t{p[3]});
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  bool little_endian_;
};

// The orientation in a TIFF block (the EXIF payload after "Exif\0\0"), `size` bytes long.
int OrientationFromTiff(const uint8_t* tiff, size_t size) {
  if (size < 1) return kUpright;
  // "II" is little-endian; everything else is read as big-endian ("MM").
  const BoundedReader reader(tiff, size, tiff[0] == 'I');
  uint32_t directory = 0;
  uint16_t entry_count = 0;
  if (!reader.U32(4, &directory) || !reader.U16(directory, &entry_count)) return kUpright;
  size_t entry = static_cast<size_t>(directory) + 2;
  for (uint16_t i = 0; i < entry_count; ++i, entry += kTiffEntryBytes) {
    uint16_t tag = 0;
    if (!reader.U16(entry, &tag)) return kUpright;
    if (tag != kOrientationTag) continue;
    uint16_t value = 0;
    if (!reader.U16(entry + 8, &value)) return kUpright;
    return value >= 1 && value <= 8 ? value : kUpright;
  }
  return kUpright;
}

}  // namespace

int ExifOrientationFromBytes(const uint8_t* data, size_t size) {
  if (data == nullptr || size < 4 || data[0] != 0xFF || data[1] != 0xD8) return kUpright;
  size_t pos = 2;
  while (pos < size) {
    if (data[pos] != 0xFF) return kUpright;
    while (pos < size && data[pos] == 0xFF) ++pos;  // fill bytes before the marker
    if (pos >= size) return kUpright;
    const uint8_t marker = data[pos++];
    if (marker == 0xD8) continue;
    if (marker == 0xD9 || marker == 0xDA) return kUpright;  // end of image, start of scan: no EXIF ahead
    if (size - pos < 2) return kUpright;
    const size_t length = (size_t{data[pos]} << 8) | data[pos + 1];  // counts its own two bytes
    if (length < 2) return kUpright;
    static constexpr uint8_t kExifHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
    if (marker == 0xE1 && length > 8) {
      // The segment may claim more bytes than were read; the data's end bounds it then.
      const size_t segment_end = size - pos < length ? size : pos + length;
      const size_t payload = pos + 2;
      bool is_exif = segment_end - payload >= sizeof(kExifHeader);
      for (size_t i = 0; is_exif && i < sizeof(kExifHeader); ++i) is_exif = data[payload + i] == kExifHeader[i];
      // The first EXIF block decides; a file carries one.
      if (is_exif) {
        const size_t tiff = payload + sizeof(kExifHeader);
        return OrientationFromTiff(data + tiff, segment_end - tiff);
      }
    }
    if (size - pos <= length) return kUpright;
    pos += length;
  }
  return kUpright;
}

int ReadExifOrientation(const std::string& utf8_path) {
  FilePtr file = OpenFile(utf8_path, "rb");
  if (!file) return kUpright;
  std::vector<uint8_t> head(kExifSearchBytes);
  const size_t read = std::fread(head.data(), 1, head.size(), file.get());
  return ExifOrientationFromBytes(head.data(), read);
}

}  // namespace mosalith
