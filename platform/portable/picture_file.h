// PictureFile: a picture file opened for reading by the adapters that read pictures (graphics,
// metadata): regular files only, headers read through a window, the whole file only for decoding.
//
// Opening never blocks (a FIFO would wait for a writer for ever) and the type is checked on the open
// descriptor, so a FIFO, device or folder is refused without being read.
// Thread safety: one thread at a time per object.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "imaging/header/read_at.h"

namespace platform {

enum class PictureFileError {
  kNone,
  kNotFound,     // no such file or folder (also an empty path, or one with a NUL)
  kDenied,       // permission refused
  kNotRegular,   // a folder, FIFO, device or socket
  kTooLarge,     // ReadAll: larger than its limit
  kOutOfMemory,
  kIo,           // any other error; `error_number()` holds errno
};

class PictureFile {
 public:
  // The open file, or null with `*error` set.
  static std::unique_ptr<PictureFile> Open(const std::string& path, PictureFileError* error, int* error_number = nullptr);
  ~PictureFile();
  PictureFile(const PictureFile&) = delete;
  PictureFile& operator=(const PictureFile&) = delete;

  uint64_t size_bytes() const { return size_bytes_; }

  // Reads through a 64 KiB window, so the header walks' small reads cost one system call per window.
  // As ReadAtFunction: the count read, fewer only at the end, -1 on an error.
  int64_t ReadAt(uint64_t offset, size_t length, uint8_t* out);
  // ReadAt as a function; valid while this object lives.
  imaging::ReadAtFunction Reader();

  // The whole file into `*bytes` when it is at most `max_bytes` long (a file that shrinks while it is
  // read gives what is there). kNone or the error.
  PictureFileError ReadAll(size_t max_bytes, std::vector<uint8_t>* bytes);

 private:
  explicit PictureFile(int fd, uint64_t size_bytes) : fd_(fd), size_bytes_(size_bytes) {}
  bool Fill(uint64_t offset);
  // One positioned read of up to `length` bytes at `offset`: the count (0 at the end of the file), or -1
  // with `*error` set. The one part of reading written per platform (picture_file.cpp on each).
  int64_t ReadRaw(uint64_t offset, size_t length, uint8_t* out, PictureFileError* error);

  int fd_;
  uint64_t size_bytes_;
  uint64_t window_start_ = 0;
  std::vector<uint8_t> window_;
};

}  // namespace platform
