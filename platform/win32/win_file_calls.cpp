// WinFileCalls: CreateFileW / WriteFile / FlushFileBuffers / MoveFileExW, paths converted at each call.
#include "platform/win32/win_file_calls.h"

#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <optional>

#include "base/utf8.h"
#include "imaging/output/file_status.h"

namespace platform {
namespace {

// The UTF-16 form of `utf8` with '\' separators; nothing when it has no exact one (or holds a NUL, which
// would cut the name short and name another file).
std::optional<std::wstring> SystemPath(const std::string& utf8) {
  const std::optional<std::u16string> name = base::SystemName(utf8);
  if (!name || name->empty()) return std::nullopt;
  std::wstring wide(name->begin(), name->end());
  std::replace(wide.begin(), wide.end(), L'/', L'\\');
  return wide;
}

HANDLE AsHandle(imaging::FileCalls::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

int LastError() { return ErrnoFromWin32(::GetLastError()); }

int Move(const std::string& from, const std::string& to, DWORD flags) {
  const std::optional<std::wstring> source = SystemPath(from);
  const std::optional<std::wstring> target = SystemPath(to);
  if (!source || !target) return EINVAL;
  return ::MoveFileExW(source->c_str(), target->c_str(), flags | MOVEFILE_WRITE_THROUGH) ? 0 : LastError();
}

}  // namespace

int ErrnoFromWin32(unsigned long error) {
  switch (error) {
    case ERROR_SUCCESS: return 0;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME: return ENOENT;
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION: return EACCES;
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS: return EEXIST;
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL: return ENOSPC;
    case ERROR_WRITE_PROTECT: return EROFS;
    case ERROR_FILENAME_EXCED_RANGE: return ENAMETOOLONG;
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_INVALID_PARAMETER: return EINVAL;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY: return ENOMEM;
    case ERROR_DIRECTORY: return ENOTDIR;
    case ERROR_NOT_SAME_DEVICE: return EXDEV;
    default: return EIO;
  }
}

base::Status FileStatusFromWin32(unsigned long error, std::string_view path) {
  wchar_t text[512];
  DWORD units = ::FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                 sizeof text / sizeof text[0], nullptr);
  while (units > 0 && (text[units - 1] == L'\r' || text[units - 1] == L'\n' || text[units - 1] == L' ' ||
                       text[units - 1] == L'.')) {
    --units;
  }
  std::string reason = units > 0 ? base::Utf16ToUtf8(std::u16string(text, text + units))
                                 : "Windows error " + std::to_string(error);
  // A call that failed without saying why still failed.
  const int number = ErrnoFromWin32(error);
  return imaging::FileStatus(number != 0 ? number : EIO, path, reason);
}

long WinFileCalls::ProcessId() const { return static_cast<long>(::GetCurrentProcessId()); }

int WinFileCalls::CreateNew(const std::string& path, uint32_t, Handle* handle) {
  const std::optional<std::wstring> wide = SystemPath(path);
  if (!wide) return EINVAL;
  // CREATE_NEW never opens what is there, a link included.
  const HANDLE file = ::CreateFileW(wide->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return LastError();
  *handle = reinterpret_cast<Handle>(file);
  return 0;
}

int WinFileCalls::Write(Handle handle, const uint8_t* bytes, size_t size) {
  while (size > 0) {
    const DWORD chunk = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    DWORD written = 0;
    if (!::WriteFile(AsHandle(handle), bytes, chunk, &written, nullptr)) return LastError();
    if (written == 0) return EIO;
    bytes += written;
    size -= written;
  }
  return 0;
}

int WinFileCalls::SyncAndClose(Handle handle) {
  const int flushed = ::FlushFileBuffers(AsHandle(handle)) ? 0 : LastError();
  const int closed = ::CloseHandle(AsHandle(handle)) ? 0 : LastError();
  return flushed != 0 ? flushed : closed;
}

void WinFileCalls::Close(Handle handle) { ::CloseHandle(AsHandle(handle)); }

imaging::EntryKind WinFileCalls::KindAt(const std::string& path) {
  const std::optional<std::wstring> wide = SystemPath(path);
  if (!wide) return imaging::EntryKind::kMissing;
  const DWORD attributes = ::GetFileAttributesW(wide->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return imaging::EntryKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return imaging::EntryKind::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return imaging::EntryKind::kFolder;
  return attributes & FILE_ATTRIBUTE_DEVICE ? imaging::EntryKind::kOther : imaging::EntryKind::kFile;
}

int WinFileCalls::Replace(const std::string& from, const std::string& to) {
  return Move(from, to, MOVEFILE_REPLACE_EXISTING);
}

int WinFileCalls::RenameNoReplace(const std::string& from, const std::string& to) { return Move(from, to, 0); }

int WinFileCalls::Remove(const std::string& path) {
  const std::optional<std::wstring> wide = SystemPath(path);
  if (!wide) return EINVAL;
  return ::DeleteFileW(wide->c_str()) ? 0 : LastError();
}

}  // namespace platform
