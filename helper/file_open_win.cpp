// OpenFile and IdentifyFile on Windows: UTF-8 names become UTF-16 here; only files on disk are opened.
// Files are written through WinFileCalls.
#include "helper/file_open.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstring>
#include <new>

#include "base/utf8.h"
#include "platform/win32/win_file_calls.h"

namespace mosalith {
namespace {

// The UTF-16 form of `utf8`, or empty when it is empty, not valid UTF-8 or holds a NUL (which would cut
// the name short and open another file).
std::wstring WidePath(const std::string& utf8) {
  const std::optional<std::u16string> name = base::SystemName(utf8);
  if (!name) return {};
  return std::wstring(name->begin(), name->end());
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

imaging::FileCalls& SystemFileCalls() {
  static platform::WinFileCalls calls;
  return calls;
}

std::optional<FileId> IdentifyFile(const std::string& utf8_path) {
  const std::wstring path = WidePath(utf8_path);
  if (path.empty()) return std::nullopt;
  // Links are followed (no FILE_FLAG_OPEN_REPARSE_POINT); folders need backup semantics to be opened.
  const HANDLE handle = ::CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::nullopt;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool found = ::GetFileInformationByHandle(handle, &info) != 0;
  ::CloseHandle(handle);
  if (!found) return std::nullopt;
  return FileId{info.dwVolumeSerialNumber,
                (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

}  // namespace mosalith
