// OpenFile on Windows: UTF-8 names become UTF-16 for _wfopen; only files on disk are opened.
#include "helper/file_open.h"

#include <io.h>
#include <windows.h>

#include <climits>
#include <cstring>
#include <new>

namespace mosalith {
namespace {

// The UTF-16 form of `utf8`, or empty when it is empty, not valid UTF-8 or holds a NUL (which would cut
// the name short and open another file).
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

}  // namespace

FilePtr OpenFile(const std::string& utf8_path, const char* mode) {
  const std::wstring path = WidePath(utf8_path);
  if (path.empty()) return nullptr;
  // "N": not inherited by child processes, as O_CLOEXEC on POSIX.
  std::wstring wide_mode(mode, mode + std::strlen(mode));
  wide_mode.push_back(L'N');
  FilePtr file(::_wfopen(path.c_str(), wide_mode.c_str()));
  if (!file) return nullptr;
  // A named pipe, the console or another device is refused: reading a pipe whose other end never writes
  // would block the helper for ever. Opening one does not block, so the check is made on what was opened.
  // Folders cannot be opened this way at all.
  const HANDLE handle = reinterpret_cast<HANDLE>(::_get_osfhandle(::_fileno(file.get())));
  if (handle == INVALID_HANDLE_VALUE || ::GetFileType(handle) != FILE_TYPE_DISK) return nullptr;
  return file;
}

bool ReadWholeFile(const std::string& utf8_path, std::vector<uint8_t>& bytes, int64_t max_bytes) {
  FilePtr file = OpenFile(utf8_path, "rb");
  if (!file) return false;
  const int64_t size = ::_filelengthi64(::_fileno(file.get()));
  if (size < 0 || size > max_bytes) return false;
  try {
    bytes.resize(static_cast<size_t>(size));
  } catch (const std::bad_alloc&) {
    return false;
  }
  // A file that grew since its length was taken is read as it was then.
  return std::fread(bytes.data(), 1, bytes.size(), file.get()) == bytes.size();
}

}  // namespace mosalith
