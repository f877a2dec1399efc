// PendingOutput: the one rule by which both programs write a file (sheets, bakes, PDF files, job files,
// settings), written once over the FileCalls port.
//
// The file is written under a short temporary name in its destination folder
// ("<prefix><pid>-<n>.tmp": ".mosalith-" for the helper, ".pictavera-" for the host, so that what a
// killed process left can be told by its name and removed later), flushed to the disk, then renamed to
// its final name. So:
// - nobody ever sees half a file at the final name, and a full disk leaves nothing behind (the
//   temporary file is removed on every failure, and by the destructor unless published);
// - a file or a link at the final name is replaced only at the rename: a link's target is never written;
//   a folder there is refused (EISDIR), and so is anything else that is not a file (a FIFO, a device:
//   the rename would put the picture in the place of /dev/null itself; EEXIST);
// - the final name may be as long as the folder allows: the temporary one is short;
// - the final name must lie in the folder the file was started in (the rename stays on one disk).
//
//   int error = 0;
//   std::unique_ptr<PendingOutput> file = PendingOutput::Start(calls, folder, ".mosalith-", 0666, &error);
//   if (file && (error = file->Write(bytes.data(), bytes.size())) == 0)
//     error = file->Publish(folder + "/sheet.jpg", PublishMode::kReplace);
//
// Failures are errno values, as FileCalls gives them. Thread safety: one thread at a time per file;
// files are independent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "imaging/output/file_calls.h"

namespace imaging {

// How a finished file takes its final name.
enum class PublishMode {
  kReplace,    // over the file or link that has the name (anything else there is refused)
  kNoReplace,  // only while the name is free; EEXIST otherwise
};

class PendingOutput {
 public:
  // A new temporary file in the existing folder `folder`; null with `*error` set when the folder is
  // missing (ENOENT) or takes no file (EACCES, EROFS, ...). `calls` must outlive the file.
  static std::unique_ptr<PendingOutput> Start(FileCalls& calls, const std::string& folder, std::string_view prefix,
                                              uint32_t mode, int* error);
  ~PendingOutput();
  PendingOutput(const PendingOutput&) = delete;
  PendingOutput& operator=(const PendingOutput&) = delete;

  // Appends `size` bytes. After a failure (ENOSPC: disk full) the file is gone and every later call
  // fails with EBADF.
  int Write(const uint8_t* bytes, size_t size);

  // Flushes the file to the disk (once) and gives it the name `path`. 0 on success. EXDEV, with nothing
  // changed, when `path` is not in the file's folder. With kNoReplace, EEXIST when the name is taken:
  // the file stays pending and may be published under another name. Any other failure removes it.
  int Publish(const std::string& path, PublishMode mode);

  // The temporary file's path; empty once published or dropped.
  const std::string& temporary_path() const { return temporary_; }

 private:
  PendingOutput(FileCalls& calls, std::string folder, std::string temporary, FileCalls::Handle handle)
      : calls_(calls), folder_(std::move(folder)), temporary_(std::move(temporary)), handle_(handle) {}
  int Drop(int error);  // closes and removes the temporary file; returns `error`

  FileCalls& calls_;
  std::string folder_;
  std::string temporary_;
  FileCalls::Handle handle_;
  bool open_ = true;
  bool done_ = false;  // published or dropped
};

// The folder part of `path` by `calls`' separators: everything before its last separator, "/" for a
// path directly under the root, a drive's root ("C:/") kept whole, "." for a path without a folder.
std::string FolderOf(const FileCalls& calls, const std::string& path);

}  // namespace imaging
