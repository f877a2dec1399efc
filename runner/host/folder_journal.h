// FolderJournal: the host's record of the folders it writes files into, so that what a killed host (or a
// helper it started) left half written there is found again at the next start and removed.
//
// A FileSystem that passes every call through to the real one. Before the first file it starts in a
// folder (StartFile), or before a helper program writes into one (NoteWritingIn), it writes the folder's
// path into its journal, "folders_<pid>.txt" in the temporary folder: one path per line, the whole journal
// rewritten by the one rule, so it is always whole. A folder whose path holds a line break is not
// journalled. The next host reads the journals of processes that no longer run and cleans each folder they
// list (RemoveLeftoverFiles, runner/host/leftover_files.h); a host that ends normally removes its own.
// Thread safety: every method may be called from any thread at once, as the port says.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "platform/file_system.h"

namespace runner {

// The process id in a journal's name ("folders_<pid>.txt"), or nothing when `name` is not one.
std::optional<int> JournalOwner(std::string_view name);
// The folders a journal lists.
std::vector<std::string> JournalFolders(std::string_view text);

class FolderJournal : public platform::FileSystem {
 public:
  // `files` must outlive the journal; `pid` is this process's.
  FolderJournal(platform::FileSystem& files, int pid);
  // Removes the journal: nothing this host wrote is left half written.
  ~FolderJournal() override;

  base::StatusOr<std::string> TempFolder() override { return files_.TempFolder(); }
  base::Status CreateFolder(const std::string& path, uint32_t mode) override { return files_.CreateFolder(path, mode); }
  base::StatusOr<std::unique_ptr<platform::PendingFile>> StartFile(const std::string& folder, uint32_t mode) override;
  base::StatusOr<std::vector<uint8_t>> ReadFile(const std::string& path, size_t max_bytes) override {
    return files_.ReadFile(path, max_bytes);
  }
  base::Status RemoveFile(const std::string& path) override { return files_.RemoveFile(path); }
  bool IsRegularFile(const std::string& path) override { return files_.IsRegularFile(path); }
  std::optional<platform::FileIdentity> IdentityOf(const std::string& path) override { return files_.IdentityOf(path); }
  platform::PathKind KindAt(const std::string& path) override { return files_.KindAt(path); }
  base::StatusOr<std::vector<std::string>> OwnFiles(const std::string& folder) override {
    return files_.OwnFiles(folder);
  }
  void NoteWritingIn(const std::string& folder) override;

 private:
  platform::FileSystem& files_;
  const int pid_;
  std::mutex mutex_;
  std::set<std::string> folders_;  // journalled so far
  std::string journal_path_;       // empty until the journal is first written
};

}  // namespace runner
