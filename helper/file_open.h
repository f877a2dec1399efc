// OpenFile: the helper's one way to open a file by name.
//
// Paths travel through the helper as UTF-8 text. On this platform they are handed to fopen unchanged; a
// Windows build converts them to UTF-16 here and nowhere else.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

namespace mosalith {

struct FileCloser {
  void operator()(std::FILE* file) const { if (file) std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// Opens `utf8_path` with an fopen mode ("rb", "wb"). Returns null when the file cannot be opened.
FilePtr OpenFile(const std::string& utf8_path, const char* mode);

}  // namespace mosalith
