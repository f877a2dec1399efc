// The EXIF orientation through the shared picture header reader, over a file or bytes in memory.
#include "helper/exif_orientation.h"

#include <cstdio>
#include <optional>

#include "helper/file_open.h"
#include "platform/picture/picture_header.h"

namespace mosalith {

int ExifOrientationFromBytes(const uint8_t* data, size_t size) {
  if (data == nullptr) return 1;
  const std::optional<platform::PictureHeader> header = platform::ReadPictureHeader(data, size);
  return header ? header->orientation : 1;
}

int ReadExifOrientation(const std::string& utf8_path) {
  FilePtr file = OpenFile(utf8_path, "rb");
  if (!file) return 1;
  std::FILE* stream = file.get();
  const platform::ReadAtFunction read = [stream](uint64_t offset, size_t length, uint8_t* out) -> int64_t {
    if (offset > static_cast<uint64_t>(INT64_MAX) || fseeko(stream, static_cast<off_t>(offset), SEEK_SET) != 0) {
      return -1;
    }
    const size_t got = std::fread(out, 1, length, stream);
    return got < length && std::ferror(stream) ? -1 : static_cast<int64_t>(got);
  };
  const std::optional<platform::PictureHeader> header = platform::ReadPictureHeader(read);
  return header ? header->orientation : 1;
}

}  // namespace mosalith
