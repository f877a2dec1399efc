// RemoveOwnLeftovers on POSIX systems, and the folders of a job's outputs.
#include "helper/own_leftovers.h"

#include <cerrno>
#include <memory>
#include <set>

#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/temporary_names.h"
#include "helper/log.h"

namespace mosalith {
namespace {

bool ProcessRuns(int pid) { return ::kill(pid, 0) == 0 || errno == EPERM; }

}  // namespace

std::vector<std::string> FoldersOf(const std::vector<std::string>& paths) {
  std::set<std::string> folders;
  for (const std::string& path : paths) {
    const size_t slash = path.find_last_of("/\\");
    folders.insert(slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash));
  }
  return {folders.begin(), folders.end()};
}

int RemoveOwnLeftovers(const std::string& folder) {
  std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
  if (!dir) return 0;
  int removed = 0;
  const int self = static_cast<int>(::getpid());
  while (const dirent* entry = ::readdir(dir.get())) {
    const std::optional<int> owner = base::TemporaryFileOwner(entry->d_name, base::kHelperTemporaryPrefix);
    if (!owner || *owner == self || ProcessRuns(*owner)) continue;
    const std::string path = folder + (folder == "/" ? "" : "/") + entry->d_name;
    struct stat info {};
    // Only this user's own files, and never what a link points to.
    if (::lstat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::getuid()) continue;
    if (::unlink(path.c_str()) == 0) {
      LogLine("Mosalith: Removed " + path + ", left by process " + std::to_string(*owner) + " that no longer runs");
      ++removed;
    }
  }
  return removed;
}

}  // namespace mosalith
