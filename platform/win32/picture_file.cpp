// PictureFile on Windows: CreateFileW on the UTF-16 form of the path, the type checked on the open handle,
// reads at an offset through ReadFile. The descriptor is a C runtime one over that handle, as on POSIX.
#include "platform/portable/picture_file.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <optional>
#include <string>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

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
  const std::optional<std::wstring> wide = win32::Widen(path);
  if (!wide || wide->empty()) return fail(PictureFileError::kNotFound, ENOENT);
  const HANDLE handle = ::CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD last = ::GetLastError();
    // A folder cannot be opened this way at all: it is refused as not a file, as on POSIX.
    const DWORD attributes = ::GetFileAttributesW(wide->c_str());
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

int64_t PictureFile::ReadRaw(uint64_t offset, size_t length, uint8_t* out, PictureFileError* error) {
  const int64_t got = ReadAtOffset(HandleOf(fd_), offset, length, out);
  if (got < 0) *error = ErrorFor(::GetLastError());
  return got;
}

}  // namespace platform
