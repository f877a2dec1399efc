// FolderJournal: the journal's name, its lines, and its writing.
#include "runner/host/folder_journal.h"

#include "base/temporary_names.h"
#include "runner/log.h"

namespace runner {
namespace {

constexpr std::string_view kJournalPrefix = "folders_";
constexpr std::string_view kJournalSuffix = ".txt";

}  // namespace

std::optional<int> JournalOwner(std::string_view name) {
  if (!name.starts_with(kJournalPrefix) || !name.ends_with(kJournalSuffix)) return std::nullopt;
  return base::ProcessIdText(name.substr(kJournalPrefix.size(), name.size() - kJournalPrefix.size() - kJournalSuffix.size()));
}

std::vector<std::string> JournalFolders(std::string_view text) {
  std::vector<std::string> folders;
  while (!text.empty()) {
    const size_t end = text.find('\n');
    const std::string_view line = text.substr(0, end);
    if (!line.empty()) folders.emplace_back(line);
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  }
  return folders;
}

FolderJournal::FolderJournal(platform::FileSystem& files, int pid) : files_(files), pid_(pid) {}

FolderJournal::~FolderJournal() {
  if (!journal_path_.empty()) (void)files_.RemoveFile(journal_path_);  // gone already is as good
}

base::StatusOr<std::unique_ptr<platform::PendingFile>> FolderJournal::StartFile(const std::string& folder,
                                                                              uint32_t mode) {
  NoteWritingIn(folder);
  return files_.StartFile(folder, mode);
}

void FolderJournal::NoteWritingIn(const std::string& folder) {
  if (folder.empty() || folder.find_first_of("\r\n") != std::string::npos) return;
  std::lock_guard lock(mutex_);
  if (!folders_.insert(folder).second) return;
  const base::StatusOr<std::string> temp = files_.TempFolder();
  if (!temp.ok()) return;  // nowhere to keep it: the folder goes uncleaned after a kill, as before
  std::string text;
  for (const std::string& listed : folders_) text += listed + "\n";
  const std::string path = *temp + "/" + std::string(kJournalPrefix) + std::to_string(pid_) + std::string(kJournalSuffix);
  if (const base::Status failed = files_.WriteFile(path, std::vector<uint8_t>(text.begin(), text.end()), 0600);
      !failed.ok()) {
    LogLine("ERROR: cannot write the journal " + path + ", " + failed.ToString());
    return;
  }
  journal_path_ = path;
}

}  // namespace runner
