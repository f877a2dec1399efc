// OpenFile: the helper's one way to open a file by name, and the system calls its OutputFile writes through.
//
// Paths travel through the helper as UTF-8 text. On this platform they are handed to the system
// unchanged; a Windows build converts them to UTF-16 here and nowhere else.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imaging/output/file_calls.h"

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

// The system calls under the one rule of writing files (imaging/output/pending_output.h), for
// OutputFile: this platform's, shared by every thread (they keep no state).
imaging::FileCalls& SystemFileCalls();

// Which file a path names once every link is followed.
struct FileId {
  uint64_t device = 0;
  uint64_t inode = 0;
  bool operator==(const FileId&) const = default;
};

// The identity of the file at `utf8_path`; nothing when nothing can be found there.
std::optional<FileId> IdentifyFile(const std::string& utf8_path);

}  // namespace mosalith
