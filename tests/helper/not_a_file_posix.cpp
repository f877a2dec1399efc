// BlockingSpecialFile on POSIX: a FIFO, which nothing ever opens for writing.
#include "tests/helper/not_a_file.h"
#include "tests/support/temp_folder.h"

#include <sys/stat.h>

#include <stdexcept>

namespace mosalith::testing {

struct BlockingSpecialFile::Server {};

BlockingSpecialFile::BlockingSpecialFile(const test_support::TempFolder& dir, const std::string& name) : path_(dir.File(name)) {
  if (::mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo failed: " + path_);
}

BlockingSpecialFile::~BlockingSpecialFile() = default;

}  // namespace mosalith::testing
