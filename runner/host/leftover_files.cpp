// Leftover files: names read, owners looked up, files removed.
#include "runner/host/leftover_files.h"

#include "base/temporary_names.h"
#include "platform/file_system.h"
#include "platform/process_runner.h"
#include "runner/host/folder_journal.h"
#include "runner/log.h"

namespace runner {
namespace {

constexpr std::string_view kJobPrefix = "grid_config_";
constexpr std::string_view kJobSuffix = ".txt";
// A journal lists at most some thousands of folders.
constexpr size_t kMaxJournalBytes = size_t{1} << 20;

bool AllDigits(std::string_view text) {
  if (text.empty()) return false;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// The owner of a file either program leaves half written.
std::optional<int> AnyTemporaryFileOwner(std::string_view name) {
  if (std::optional<int> owner = TemporaryFileOwner(name)) return owner;
  return base::TemporaryFileOwner(name, base::kHelperTemporaryPrefix);
}

}  // namespace

std::optional<int> JobFileOwner(std::string_view name) {
  if (!name.starts_with(kJobPrefix) || !name.ends_with(kJobSuffix)) return std::nullopt;
  std::string_view middle = name.substr(kJobPrefix.size(), name.size() - kJobPrefix.size() - kJobSuffix.size());
  const size_t underscore = middle.find('_');
  if (underscore == std::string_view::npos || !AllDigits(middle.substr(underscore + 1))) return std::nullopt;
  return base::ProcessIdText(middle.substr(0, underscore));
}

std::optional<int> TemporaryFileOwner(std::string_view name) {
  return base::TemporaryFileOwner(name, base::kHostTemporaryPrefix);
}

std::optional<int> LeftoverOwner(std::string_view name) {
  if (std::optional<int> owner = JobFileOwner(name)) return owner;
  return TemporaryFileOwner(name);
}

int RemoveLeftovers(platform::FileSystem& files, const platform::ProcessRunner& processes, const std::string& folder,
                    const std::function<std::optional<int>(std::string_view)>& owner_of, int self_pid) {
  const base::StatusOr<std::vector<std::string>> names = files.OwnFiles(folder);
  if (!names.ok()) return 0;
  int removed = 0;
  for (const std::string& name : *names) {
    const std::optional<int> owner = owner_of(name);
    if (!owner || *owner == self_pid || processes.ProcessExists(*owner)) continue;
    const std::string path = folder + "/" + name;
    if (files.RemoveFile(path).ok()) {
      LogLine("INFO: Removed " + path + ", left by process " + std::to_string(*owner) + " that no longer runs");
      ++removed;
    }
  }
  return removed;
}

int CleanJournalledFolders(platform::FileSystem& files, const platform::ProcessRunner& processes,
                           const std::string& temp_folder, int self_pid) {
  const base::StatusOr<std::vector<std::string>> names = files.OwnFiles(temp_folder);
  if (!names.ok()) return 0;
  int removed = 0;
  for (const std::string& name : *names) {
    const std::optional<int> owner = JournalOwner(name);
    if (!owner || *owner == self_pid || processes.ProcessExists(*owner)) continue;
    const std::string journal = temp_folder + "/" + name;
    if (const auto text = files.ReadFile(journal, kMaxJournalBytes); text.ok()) {
      for (const std::string& folder : JournalFolders(std::string_view(reinterpret_cast<const char*>(text->data()), text->size()))) {
        removed += RemoveLeftovers(files, processes, folder, AnyTemporaryFileOwner, self_pid);
      }
    }
    (void)files.RemoveFile(journal);  // a journal that cannot go is read again next time, no harm
  }
  return removed;
}

void RemoveLeftoverFiles(platform::FileSystem& files, const platform::ProcessRunner& processes,
                         const std::string& pdf_folder, int self_pid) {
  if (const base::StatusOr<std::string> temp = files.TempFolder(); temp.ok()) {
    CleanJournalledFolders(files, processes, *temp, self_pid);
    RemoveLeftovers(files, processes, *temp, LeftoverOwner, self_pid);
  }
  if (!pdf_folder.empty()) RemoveLeftovers(files, processes, pdf_folder, TemporaryFileOwner, self_pid);
}

}  // namespace runner
