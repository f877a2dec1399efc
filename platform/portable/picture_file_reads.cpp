// PictureFile's reads, the same on every platform over its one positioned read (ReadRaw): the header
// walks' small reads through a 64 KiB window, and the whole file for the decoders.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <new>

#include "platform/portable/picture_file.h"

namespace platform {
namespace {

constexpr size_t kWindowBytes = 64 * 1024;

}  // namespace

bool PictureFile::Fill(uint64_t offset) {
  window_.resize(kWindowBytes);
  window_start_ = offset;
  PictureFileError error = PictureFileError::kNone;
  const int64_t got = ReadRaw(offset, kWindowBytes, window_.data(), &error);
  if (got < 0) {
    window_.clear();
    return false;
  }
  window_.resize(static_cast<size_t>(got));
  return true;
}

int64_t PictureFile::ReadAt(uint64_t offset, size_t length, uint8_t* out) {
  if (offset > static_cast<uint64_t>(INT64_MAX) - kWindowBytes) return 0;
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

imaging::ReadAtFunction PictureFile::Reader() {
  return [this](uint64_t offset, size_t length, uint8_t* out) { return ReadAt(offset, length, out); };
}

PictureFileError PictureFile::ReadAll(size_t max_bytes, std::vector<uint8_t>* bytes) {
  if (size_bytes_ > max_bytes) return PictureFileError::kTooLarge;
  try {
    bytes->resize(static_cast<size_t>(size_bytes_));
  } catch (const std::bad_alloc&) {
    return PictureFileError::kOutOfMemory;
  }
  size_t got = 0;
  while (got < bytes->size()) {
    PictureFileError error = PictureFileError::kNone;
    const int64_t n = ReadRaw(got, bytes->size() - got, bytes->data() + got, &error);
    if (n < 0) return error;
    if (n == 0) break;  // the file shrank while it was read: what is there is all there is
    got += static_cast<size_t>(n);
  }
  bytes->resize(got);
  return PictureFileError::kNone;
}

}  // namespace platform
