// OpenFile and OutputFile: the helper's one way to open a file by name, and its one way to write one.
//
// Paths travel through the helper as UTF-8 text. On this platform they are handed to the system
// unchanged; a Windows build converts them to UTF-16 here and nowhere else.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace mosalith {

struct FileCloser {
  void operator()(std::FILE* file) const { if (file) std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens `utf8_path` with an fopen mode ("rb", "wb"). Returns null when the file cannot be opened or is
// not a regular file: a FIFO, device, socket or directory is refused without waiting on it (reading a
// FIFO nobody writes would block the helper for ever, and the application waits without a limit).
FilePtr OpenFile(const std::string& utf8_path, const char* mode);

// Reads the whole regular file at `utf8_path` into `bytes` (resized to the file's size; its capacity is
// kept for the next file). False when it cannot be opened (see OpenFile), is larger than `max_bytes`,
// or a read fails.
bool ReadWholeFile(const std::string& utf8_path, std::vector<uint8_t>& bytes, int64_t max_bytes);

// A file written under a short temporary name in the folder of its final path (".mosalith-<pid>-<n>.tmp",
// created exclusively, never through a link), then flushed to the disk and renamed to its final name
// by Commit. A file or a link at the final name (whose target is never touched) is replaced only then;
// anything else there (a folder, a FIFO, a device) is refused. On any failure the temporary file is
// removed and the final name left as it was, so no truncated or empty file is ever left there, even on
// a full disk. The final name may be as long as the folder allows: the temporary one is short.
// Thread safety: one thread at a time per file; files are independent.
class OutputFile {
 public:
  // A new temporary file for `utf8_path`, or nothing when the folder cannot take one.
  static std::optional<OutputFile> Create(const std::string& utf8_path);
  OutputFile(OutputFile&& other) noexcept
      : final_path_(std::move(other.final_path_)),
        temporary_path_(std::exchange(other.temporary_path_, std::string())),
        file_(std::move(other.file_)) {}
  OutputFile& operator=(OutputFile&&) = delete;
  OutputFile(const OutputFile&) = delete;
  ~OutputFile();  // removes the temporary file unless committed

  // The stream to write to (buffered; binary).
  std::FILE* stream() const { return file_.get(); }

  // Flushes, syncs, closes and renames the file to its final name. False, with the temporary file
  // removed, when any step fails (a write error, a full disk, a folder in the way).
  bool Commit();

 private:
  OutputFile(std::string final_path, std::string temporary_path, FilePtr file)
      : final_path_(std::move(final_path)), temporary_path_(std::move(temporary_path)), file_(std::move(file)) {}
  std::string final_path_;
  std::string temporary_path_;
  FilePtr file_;
};

// Which file a path names once every link is followed.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// The identity of the file at `utf8_path`; nothing when nothing can be found there.
std::optional<FileId> IdentifyFile(const std::string& utf8_path);

}  // namespace mosalith
