// OpenFile on POSIX: paths are UTF-8 bytes already.
#include "helper/file_open.h"

namespace mosalith {

FilePtr OpenFile(const std::string& utf8_path, const char* mode) {
  return FilePtr(std::fopen(utf8_path.c_str(), mode));
}

}  // namespace mosalith
