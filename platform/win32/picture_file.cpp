// PictureFile on Windows: CreateFileW on the UTF-16 form of the path, the type checked on the open handle,
// reads at an offset through ReadFile. The descriptor is a C runtime one over that handle, as on POSIX.
#include "platform/posix/picture_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>

namespace platform {
namespace {

constexpr size_t kWindowBytes = 64 * 1024;

// The UTF-16 form of `utf8`; empty when it is empty, not valid UTF-8 or holds a NUL.
std::wstring WidePath(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > INT_MAX || utf8.find('\0') != std::string::npos) return {};
  const int size = static_cast<int>(utf8.size());
  const int length = ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::wstring wide(static_cast<size_t>(length), L'\0');
  if (::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.data(), size, wide.data(), length) != length) {
    return {};
  }
  return wide;
}

PictureFileError ErrorFor(DWORD error) {
  switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_NETPATH:
    case ERROR_INVALID_DRIVE:
    case ERROR_FILENAME_EXCED_RANGE:
      return PictureFileError::kNotFound;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
      return PictureFileError::kDenied;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
      return PictureFileError::kOutOfMemory;
    default:
      return PictureFileError::kIo;
  }
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

// Up to `length` bytes at `offset`: the count read (0 at the end of the file), -1 on an error.
int64_t ReadAtOffset(HANDLE handle, uint64_t offset, size_t length, uint8_t* out) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  DWORD got = 0;
  const DWORD ask = static_cast<DWORD>(std::min<size_t>(length, 1u << 30));
  if (!::ReadFile(handle, out, ask, &got, &at)) {
    return ::GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return got;
}

}  // namespace

std::unique_ptr<PictureFile> PictureFile::Open(const std::string& path, PictureFileError* error, int* error_number) {
  auto fail = [&](PictureFileError why, int number) -> std::unique_ptr<PictureFile> {
    if (error) *error = why;
    if (error_number) *error_number = number;
    return nullptr;
  };
  const std::wstring wide = WidePath(path);
  if (wide.empty()) return fail(PictureFileError::kNotFound, ENOENT);
  const HANDLE handle = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD last = ::GetLastError();
    // A folder cannot be opened this way at all: it is refused as not a file, as on POSIX.
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return fail(PictureFileError::kNotRegular, 0);
    }
    const PictureFileError why = ErrorFor(last);
    return fail(why, why == PictureFileError::kNotFound ? ENOENT : why == PictureFileError::kDenied ? EACCES : EIO);
  }
  // A named pipe, the console or another device: reading one whose other end never writes would block.
  LARGE_INTEGER size{};
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileSizeEx(handle, &size) || size.QuadPart < 0) {
    ::CloseHandle(handle);
    return fail(PictureFileError::kNotRegular, 0);
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    return fail(PictureFileError::kIo, EMFILE);
  }
  if (error) *error = PictureFileError::kNone;
  if (error_number) *error_number = 0;
  return std::unique_ptr<PictureFile>(new PictureFile(fd, static_cast<uint64_t>(size.QuadPart)));
}

PictureFile::~PictureFile() { ::_close(fd_); }

bool PictureFile::Fill(uint64_t offset) {
  window_.resize(kWindowBytes);
  window_start_ = offset;
  const int64_t got = ReadAtOffset(HandleOf(fd_), offset, kWindowBytes, window_.data());
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

ReadAtFunction PictureFile::Reader() {
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
    const int64_t n = ReadAtOffset(HandleOf(fd_), got, bytes->size() - got, bytes->data() + got);
    if (n < 0) return ErrorFor(::GetLastError());
    if (n == 0) break;  // the file shrank while it was read: what is there is all there is
    got += static_cast<size_t>(n);
  }
  bytes->resize(got);
  return PictureFileError::kNone;
}

}  // namespace platform
