// WinShell: ShellExecuteW with the "open" verb, GetFileAttributesW for existence.
#include "platform/win32/win_shell.h"

#include "platform/win32/windows_api.h"
#include <shellapi.h>

#include <cstdint>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

// ShellExecuteW's answer: above 32 accepted, else one of its refusal numbers.
base::Status StatusOfAnswer(intptr_t answer, const std::string& path) {
  if (answer > 32) return base::Status::Ok();
  const std::string message = path + ": the shell answered " + std::to_string(answer);
  switch (answer) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND: return base::Status::NotFound(message);
    case SE_ERR_ACCESSDENIED: return base::Status::AccessDenied(message);
    case 0:
    case SE_ERR_OOM: return base::Status::OutOfMemory(message);
    case SE_ERR_ASSOCINCOMPLETE:
    case SE_ERR_NOASSOC: return base::Status::Unsupported(message);
    default: return base::Status::Failed(message);
  }
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

base::Status WinShell::Open(const std::string& path) {
  const std::optional<std::wstring> file = win32::SystemPath(path);
  if (!file || file->empty()) return base::Status::NotFound(path + ": not a path the system takes");
  const HINSTANCE answer = ::ShellExecuteW(nullptr, L"open", file->c_str(), nullptr, nullptr, SW_SHOWNORMAL);
  return StatusOfAnswer(reinterpret_cast<intptr_t>(answer), path);
}

}  // namespace platform
