// WinShell: ShellExecuteW with the "open" and "print" verbs, GetFileAttributesW for existence.
#include "platform/win32/win_shell.h"

#include "platform/win32/windows_api.h"
#include <shellapi.h>

#include <cstdint>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

int Execute(const wchar_t* verb, const std::string& path, int show) {
  const std::optional<std::wstring> file = win32::SystemPath(path);
  if (!file || file->empty()) return ERROR_FILE_NOT_FOUND;
  const HINSTANCE answer = ::ShellExecuteW(nullptr, verb, file->c_str(), nullptr, nullptr, show);
  return static_cast<int>(reinterpret_cast<intptr_t>(answer));
}

}  // namespace

bool WinShell::IsRegularFile(const std::string& path) {
  const std::optional<std::wstring> file = win32::SystemPath(path);
  if (!file || file->empty()) return false;
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(file->c_str(), GetFileExInfoStandard, &data)) return false;
  const DWORD not_a_file = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE;
  if ((data.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return (data.dwFileAttributes & not_a_file) == 0 && (data.nFileSizeHigh != 0 || data.nFileSizeLow != 0);
  }
  // The attributes are the link's own: opening follows it, and fails when it dangles.
  const HANDLE target = ::CreateFileW(file->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (target == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool file_with_data = ::GetFileType(target) == FILE_TYPE_DISK && ::GetFileInformationByHandle(target, &info) &&
                              (info.dwFileAttributes & not_a_file) == 0 &&
                              (info.nFileSizeHigh != 0 || info.nFileSizeLow != 0);
  ::CloseHandle(target);
  return file_with_data;
}

int WinShell::Open(const std::string& path) { return Execute(L"open", path, SW_SHOWNORMAL); }

int WinShell::Print(const std::string& path) { return Execute(L"print", path, SW_HIDE); }

}  // namespace platform
