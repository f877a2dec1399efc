// RemoveOwnLeftovers on Windows, and the folders of a job's outputs.
#include "helper/own_leftovers.h"

#include <windows.h>

#include <set>

#include "base/temporary_names.h"
#include "base/utf8.h"
#include "helper/log.h"

namespace mosalith {
namespace {

// A process that cannot be opened for lack of rights still runs; one that is not there does not.
bool ProcessRuns(int pid) {
  const HANDLE process = ::OpenProcess(SYNCHRONIZE, FALSE, static_cast<DWORD>(pid));
  if (process == nullptr) return ::GetLastError() == ERROR_ACCESS_DENIED;
  const bool running = ::WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  ::CloseHandle(process);
  return running;
}

}  // namespace

std::vector<std::string> FoldersOf(const std::vector<std::string>& paths) {
  std::set<std::string> folders;
  for (const std::string& path : paths) {
    const size_t slash = path.find_last_of("/\\");
    folders.insert(slash == std::string::npos ? "." : path.substr(0, slash + 1));
  }
  return {folders.begin(), folders.end()};
}

int RemoveOwnLeftovers(const std::string& folder) {
  std::string base_path = folder;
  if (!base_path.empty() && base_path.back() != '/' && base_path.back() != '\\') base_path.push_back('\\');
  const std::optional<std::u16string> pattern = base::SystemName(base_path + base::kHelperTemporaryPrefix.data() + "*.tmp");
  if (!pattern) return 0;
  const std::wstring wide_pattern(pattern->begin(), pattern->end());
  WIN32_FIND_DATAW found{};
  const HANDLE search = ::FindFirstFileW(wide_pattern.c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return 0;
  int removed = 0;
  const int self = static_cast<int>(::GetCurrentProcessId());
  do {
    // Links and folders are left alone: only files the helper itself wrote.
    if (found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) continue;
    const std::wstring wide_name(found.cFileName);
    const std::string name = base::Utf16ToUtf8(std::u16string(wide_name.begin(), wide_name.end()));
    const std::optional<int> owner = base::TemporaryFileOwner(name, base::kHelperTemporaryPrefix);
    if (!owner || *owner == self || ProcessRuns(*owner)) continue;
    const std::optional<std::u16string> path = base::SystemName(base_path + name);
    if (path && ::DeleteFileW(std::wstring(path->begin(), path->end()).c_str())) {
      LogLine("Mosalith: Removed " + base_path + name + ", left by process " + std::to_string(*owner) +
              " that no longer runs");
      ++removed;
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return removed;
}

}  // namespace mosalith
