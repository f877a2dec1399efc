// OutputFile: the helper's one way to write a file (the sheets), by the one rule both programs follow
// (imaging/output/pending_output.h): a short temporary name in the folder of its final path
// (".mosalith-<pid>-<n>.tmp"), flushed to the disk and renamed to its final name by Commit. A file or a
// link at the final name (whose target is never touched) is replaced only then; anything else there (a
// folder, a FIFO, a device) is refused. On any failure the temporary file is removed and the final name
// left as it was, so no truncated or empty file is ever left there, even on a full disk.
// Thread safety: one thread at a time per file; files are independent.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "imaging/output/pending_output.h"

namespace mosalith {

class OutputFile {
 public:
  // A new temporary file for `utf8_path`, or nothing when the folder cannot take one.
  static std::optional<OutputFile> Create(const std::string& utf8_path);

  // Appends `size` bytes; false (and the file gone) when they cannot be written.
  bool Write(const uint8_t* bytes, size_t size);

  // Flushes, syncs, closes and renames the file to its final name. False, with the temporary file
  // removed, when any step fails (a write error, a full disk, a folder in the way).
  bool Commit();

 private:
  OutputFile(std::string final_path, std::unique_ptr<imaging::PendingOutput> file)
      : final_path_(std::move(final_path)), file_(std::move(file)) {}
  std::string final_path_;
  std::unique_ptr<imaging::PendingOutput> file_;  // removes the temporary file unless committed
};

}  // namespace mosalith
