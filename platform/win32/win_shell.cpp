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

bool WinShell::PathExists(const std::string& path) {
  const std::optional<std::wstring> file = win32::SystemPath(path);
  if (!file || file->empty()) return false;
  const DWORD attributes = ::GetFileAttributesW(file->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) return true;
  // The attributes are the link's own: opening follows it, and fails when it dangles.
  const HANDLE target = ::CreateFileW(file->c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (target == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(target);
  return true;
}

int WinShell::Open(const std::string& path) { return Execute(L"open", path, SW_SHOWNORMAL); }

int WinShell::Print(const std::string& path) { return Execute(L"print", path, SW_HIDE); }

}  // namespace platform
