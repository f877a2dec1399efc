// PendingOutput: temporary name, checked writes, flush, then a rename that replaces only a file or a link.
#include "imaging/output/pending_output.h"

#include <atomic>
#include <cerrno>

namespace imaging {
namespace {

// Names already taken are skipped: a file left by a killed process that had the same id.
constexpr int kNameAttempts = 100;

// `folder` with every separator as '/' and no trailing one (a root keeps it), so that "C:\photos\" and
// "C:/photos" compare equal.
std::string Canonical(const FileCalls& calls, std::string folder) {
  for (char& c : folder) {
    if (calls.IsSeparator(c)) c = '/';
  }
  while (folder.size() > 1 && folder.back() == '/' && folder[folder.size() - 2] != ':') folder.pop_back();
  return folder;
}

}  // namespace

std::string FolderOf(const FileCalls& calls, const std::string& path) {
  size_t slash = path.size();
  while (slash > 0 && !calls.IsSeparator(path[slash - 1])) --slash;
  if (slash == 0) return ".";
  if (slash == 1) return path.substr(0, 1);
  // "C:/photo.jpg" lies in "C:/": "C:" alone would be the drive's current folder.
  if (path[slash - 2] == ':') return path.substr(0, slash);
  return path.substr(0, slash - 1);
}

std::unique_ptr<PendingOutput> PendingOutput::Start(FileCalls& calls, const std::string& folder,
                                                    std::string_view prefix, uint32_t mode, int* error) {
  static std::atomic<unsigned long> counter{0};
  int ignored = 0;
  if (error == nullptr) error = &ignored;
  *error = folder.empty() ? ENOENT : EEXIST;
  if (folder.empty()) return nullptr;
  const std::string base = calls.IsSeparator(folder.back()) ? folder : folder + "/";
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    const std::string temporary = base + std::string(prefix) + std::to_string(calls.ProcessId()) + "-" +
                                  std::to_string(counter.fetch_add(1) + 1) + ".tmp";
    FileCalls::Handle handle = 0;
    *error = calls.CreateNew(temporary, mode, &handle);
    if (*error == 0) {
      return std::unique_ptr<PendingOutput>(new PendingOutput(calls, Canonical(calls, folder), temporary, handle));
    }
    if (*error != EEXIST) return nullptr;
  }
  return nullptr;
}

PendingOutput::~PendingOutput() {
  if (!done_) Drop(0);
}

int PendingOutput::Drop(int error) {
  if (open_) calls_.Close(handle_);
  open_ = false;
  if (!temporary_.empty()) calls_.Remove(temporary_);
  temporary_.clear();
  done_ = true;
  return error;
}

int PendingOutput::Write(const uint8_t* bytes, size_t size) {
  if (done_ || !open_) return EBADF;
  const int error = size == 0 ? 0 : calls_.Write(handle_, bytes, size);
  return error != 0 ? Drop(error) : 0;
}

int PendingOutput::Publish(const std::string& path, PublishMode mode) {
  if (done_) return EBADF;
  if (Canonical(calls_, FolderOf(calls_, path)) != folder_) return EXDEV;
  if (open_) {
    // Delayed allocation reports a full disk (or a lost network write) only here; a file that may be
    // incomplete never gets its final name.
    open_ = false;
    if (const int error = calls_.SyncAndClose(handle_); error != 0) return Drop(error);
  }
  int error = 0;
  if (mode == PublishMode::kNoReplace) {
    error = calls_.RenameNoReplace(temporary_, path);
    if (error == EEXIST) return EEXIST;  // still pending, for another name
  } else {
    const EntryKind existing = calls_.KindAt(path);
    if (existing == EntryKind::kFolder) error = EISDIR;
    else if (existing == EntryKind::kOther) error = EEXIST;
    else error = calls_.Replace(temporary_, path);
  }
  if (error != 0) return Drop(error);
  temporary_.clear();
  done_ = true;
  return 0;
}

}  // namespace imaging
