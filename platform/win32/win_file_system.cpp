// WinFileSystem: CreateDirectoryW / FindFirstFileW / GetFileAttributesW, files written by the one rule over
// WinFileCalls, paths converted at each call.
#include "platform/win32/win_file_system.h"

#include "platform/win32/windows_api.h"
#include <aclapi.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <memory>

#include "platform/win32/wide_text.h"

namespace platform {
namespace {

struct HandleCloser {
  void operator()(void* handle) const {
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE) ::CloseHandle(handle);
  }
};
using Handle = std::unique_ptr<void, HandleCloser>;

bool IsAbsolute(const std::string& path) {
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      (path[2] == '/' || path[2] == '\\')) {
    return true;
  }
  return path.size() >= 2 && (path[0] == '/' || path[0] == '\\') && (path[1] == '/' || path[1] == '\\');
}

std::string ForwardSlashes(std::string path) {
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
}

// Opens what `path` names, links followed, for its attributes only (a folder too).
Handle OpenForInformation(const std::wstring& path) {
  Handle handle(::CreateFileW(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (handle.get() == INVALID_HANDLE_VALUE) handle.release();
  return handle;
}

}  // namespace

base::StatusOr<std::string> WinFileSystem::TempFolder() {
  std::string folder = fixed_temp_folder_.value_or("");
  if (!fixed_temp_folder_) {
    wchar_t value[1024];
    const DWORD units = ::GetEnvironmentVariableW(L"PICTAVERA_TEMP_DIR", value, 1024);
    if (units >= 1024) {  // set, but longer than any folder the application would use
      return base::Status::InvalidArgument("PICTAVERA_TEMP_DIR: longer than any temporary folder");
    }
    folder = units > 0 ? win32::Narrow(std::wstring_view(value, units)) : kWindowsTempFolder;
  }
  folder = ForwardSlashes(folder);
  while (folder.size() > 3 && folder.back() == '/') folder.pop_back();
  const std::optional<std::wstring> wide = win32::SystemPath(folder);
  if (!IsAbsolute(folder) || !wide) {
    return base::Status::InvalidArgument(folder + ": temporary folder not an absolute path");
  }
  if (!::CreateDirectoryW(wide->c_str(), nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS) {
    return FileStatusFromWin32(::GetLastError(), folder);
  }
  const DWORD attributes = ::GetFileAttributesW(wide->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return FileStatusFromWin32(::GetLastError(), folder);
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) {
    return base::Status::AccessDenied(folder + ": a link, not a folder").WithSystemError(ELOOP);
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return base::Status::AccessDenied(folder + ": not a folder").WithSystemError(ENOTDIR);
  }
  return folder;
}

base::Status WinFileSystem::CreateFolder(const std::string& path, uint32_t) {
  const std::optional<std::wstring> wide = win32::SystemPath(path);
  if (!wide || wide->empty()) return base::Status::NotFound(path + ": no such folder name");
  return ::CreateDirectoryW(wide->c_str(), nullptr) ? base::Status::Ok() : FileStatusFromWin32(::GetLastError(), path);
}

base::StatusOr<std::unique_ptr<PendingFile>> WinFileSystem::StartFile(const std::string& folder, uint32_t mode) {
  return StartFileByRule(calls_, ForwardSlashes(folder), mode);
}

base::StatusOr<std::vector<uint8_t>> WinFileSystem::ReadFile(const std::string& path, size_t max_bytes) {
  const std::optional<std::wstring> wide = win32::SystemPath(path);
  if (!wide || wide->empty()) return base::Status::NotFound(path + ": no such file name");
  const Handle file(::CreateFileW(wide->c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (file.get() == INVALID_HANDLE_VALUE) return FileStatusFromWin32(::GetLastError(), path);
  // Devices ("NUL", "CON") and pipes are not files: refused before anything is read from them.
  if (::GetFileType(file.get()) != FILE_TYPE_DISK) return base::Status::AccessDenied(path + ": not a regular file");
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  while (bytes.size() < max_bytes) {
    const DWORD want = static_cast<DWORD>(std::min(sizeof chunk, max_bytes - bytes.size()));
    DWORD got = 0;
    if (!::ReadFile(file.get(), chunk, want, &got, nullptr)) return FileStatusFromWin32(::GetLastError(), path);
    if (got == 0) break;
    bytes.insert(bytes.end(), chunk, chunk + got);
  }
  return bytes;
}

base::Status WinFileSystem::RemoveFile(const std::string& path) {
  const std::optional<std::wstring> wide = win32::SystemPath(path);
  if (!wide || wide->empty()) return base::Status::NotFound(path + ": no such file name");
  return ::DeleteFileW(wide->c_str()) ? base::Status::Ok() : FileStatusFromWin32(::GetLastError(), path);
}

bool WinFileSystem::IsRegularFile(const std::string& path) {
  const std::optional<std::wstring> wide = win32::SystemPath(path);
  if (!wide || wide->empty()) return false;
  const Handle file = OpenForInformation(*wide);
  BY_HANDLE_FILE_INFORMATION info{};
  return file && ::GetFileType(file.get()) == FILE_TYPE_DISK && ::GetFileInformationByHandle(file.get(), &info) &&
         !(info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY);
}

std::optional<FileIdentity> WinFileSystem::IdentityOf(const std::string& path) {
  const std::optional<std::wstring> wide = win32::SystemPath(path);
  if (!wide || wide->empty()) return std::nullopt;
  const Handle file = OpenForInformation(*wide);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!file || !::GetFileInformationByHandle(file.get(), &info)) return std::nullopt;
  return FileIdentity{info.dwVolumeSerialNumber,
                      (static_cast<uint64_t>(info.nFileIndexHigh) << 32) | info.nFileIndexLow};
}

PathKind WinFileSystem::KindAt(const std::string& path) {
  const std::optional<std::wstring> wide = win32::SystemPath(path);
  if (!wide || wide->empty()) return PathKind::kMissing;
  const DWORD attributes = ::GetFileAttributesW(wide->c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::kMissing;
  if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return PathKind::kLink;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return PathKind::kFolder;
  return attributes & FILE_ATTRIBUTE_DEVICE ? PathKind::kOther : PathKind::kFile;
}

base::StatusOr<std::vector<std::string>> WinFileSystem::OwnFiles(const std::string& folder) {
  const std::optional<std::wstring> wide = win32::SystemPath(ForwardSlashes(folder) + "/*");
  if (!wide) return base::Status::InvalidArgument(folder + ": no system form of the name");
  // The current user, to compare each file's owner with.
  std::vector<uint8_t> user_buffer;
  PSID self = nullptr;
  {
    HANDLE token = nullptr;
    DWORD bytes = 0;
    if (::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) {
      ::GetTokenInformation(token, TokenUser, nullptr, 0, &bytes);
      user_buffer.resize(bytes);
      if (bytes > 0 && ::GetTokenInformation(token, TokenUser, user_buffer.data(), bytes, &bytes)) {
        self = reinterpret_cast<TOKEN_USER*>(user_buffer.data())->User.Sid;
      }
      ::CloseHandle(token);
    }
  }
  WIN32_FIND_DATAW entry;
  const HANDLE search = ::FindFirstFileW(wide->c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return FileStatusFromWin32(::GetLastError(), folder);
  std::vector<std::string> names;
  const std::string base = ForwardSlashes(folder) + "/";
  do {
    if (entry.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) continue;
    const std::string name = win32::Narrow(entry.cFileName);
    const std::optional<std::wstring> file = win32::SystemPath(base + name);
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const bool mine = self != nullptr && file &&
                      ::GetNamedSecurityInfoW(file->c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                                              nullptr, nullptr, nullptr, &descriptor) == ERROR_SUCCESS &&
                      owner != nullptr && ::EqualSid(owner, self);
    if (descriptor != nullptr) ::LocalFree(descriptor);
    if (mine) names.push_back(name);
  } while (::FindNextFileW(search, &entry));
  ::FindClose(search);
  return names;
}

}  // namespace platform
