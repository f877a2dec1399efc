// LibexifMetadataReader: file access with bounded, buffered reads; libexif for the EXIF tags.
#include "platform/libexif/libexif_metadata_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <libexif/exif-data.h>

#include "platform/libexif/picture_header.h"

namespace platform {
namespace {

struct ExifDataUnref {
  void operator()(ExifData* data) const { exif_data_unref(data); }
};
using ExifDataHolder = std::unique_ptr<ExifData, ExifDataUnref>;

class FileHolder {
 public:
  explicit FileHolder(int fd) : fd_(fd) {}
  ~FileHolder() {
    if (fd_ >= 0) ::close(fd_);
  }
  FileHolder(const FileHolder&) = delete;
  FileHolder& operator=(const FileHolder&) = delete;
  int fd() const { return fd_; }

 private:
  int fd_;
};

// Reads through a 64 KiB window, so the byte-by-byte marker walk costs one system call per window.
class BufferedFile {
 public:
  explicit BufferedFile(int fd) : fd_(fd) {}

  int64_t ReadAt(uint64_t offset, size_t length, uint8_t* out) {
    size_t done = 0;
    while (done < length) {
      const uint64_t at = offset + done;
      if (at < window_start_ || at >= window_start_ + window_.size()) {
        if (!Fill(at)) return -1;
        if (window_.empty()) break;  // end of file
      }
      const size_t in_window = static_cast<size_t>(window_start_ + window_.size() - at);
      const size_t take = std::min(in_window, length - done);
      std::memcpy(out + done, window_.data() + (at - window_start_), take);
      done += take;
    }
    return static_cast<int64_t>(done);
  }

 private:
  static constexpr size_t kWindow = 64 * 1024;

  bool Fill(uint64_t at) {
    window_.resize(kWindow);
    window_start_ = at;
    for (;;) {
      const ssize_t got = ::pread(fd_, window_.data(), kWindow, static_cast<off_t>(at));
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        window_.clear();
        return false;
      }
      window_.resize(static_cast<size_t>(got));
      return true;
    }
  }

  int fd_;
  uint64_t window_start_ = 0;
  std::vector<uint8_t> window_;
};

MetadataStatus StatusForErrno(int error) {
  return error == ENOENT || error == ENOTDIR ? MetadataStatus::kNotFound : MetadataStatus::kUnreadable;
}

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

  ExifEntry* orientation = exif_content_get_entry(data->ifd[EXIF_IFD_0], EXIF_TAG_ORIENTATION);
  if (orientation != nullptr && orientation->format == EXIF_FORMAT_SHORT && orientation->components == 1 &&
      orientation->data != nullptr && orientation->size >= 2) {
    metadata->orientation = exif_get_short(orientation->data, exif_data_get_byte_order(data.get()));
  }
  metadata->date_time_original = AsciiValue(data->ifd[EXIF_IFD_EXIF], EXIF_TAG_DATE_TIME_ORIGINAL);
  metadata->date_time = AsciiValue(data->ifd[EXIF_IFD_0], EXIF_TAG_DATE_TIME);
}

std::optional<PictureMetadata> LibexifMetadataReader::Read(const std::string& path, MetadataStatus* status) const {
  // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below as not a regular file.
  FileHolder file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
  if (file.fd() < 0) {
    if (status) *status = StatusForErrno(errno);
    return std::nullopt;
  }
  struct stat info {};
  if (::fstat(file.fd(), &info) != 0 || !S_ISREG(info.st_mode)) {
    if (status) *status = MetadataStatus::kUnreadable;
    return std::nullopt;
  }
  BufferedFile buffered(file.fd());
  std::optional<PictureHeader> header = ReadPictureHeader(
      [&buffered](uint64_t offset, size_t length, uint8_t* out) { return buffered.ReadAt(offset, length, out); },
      status);
  if (!header) return std::nullopt;
  PictureMetadata metadata;
  metadata.format = header->format;
  metadata.width_px = header->width_px;
  metadata.height_px = header->height_px;
  metadata.resolution = header->resolution;
  ReadExifTags(header->exif, &metadata);
  return metadata;
}

}  // namespace platform
