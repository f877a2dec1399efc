// A name that is not a regular file and on which a careless open or read would wait for ever: a FIFO on
// POSIX, a named pipe whose server never writes on Windows. The helper must refuse it at once.
#pragma once

#include <memory>
#include <string>

#include "tests/helper/test_images.h"
#include "tests/support/temp_folder.h"

namespace mosalith::testing {

class BlockingSpecialFile {
 public:
  // A FIFO called `name` in `dir`; on Windows a named pipe (pipes live in a namespace of their own) that
  // several opens can connect to. Throws std::runtime_error when it cannot be made.
  BlockingSpecialFile(const test_support::TempFolder& dir, const std::string& name);
  ~BlockingSpecialFile();
  BlockingSpecialFile(const BlockingSpecialFile&) = delete;
  BlockingSpecialFile& operator=(const BlockingSpecialFile&) = delete;

  // Its UTF-8 path.
  const std::string& path() const { return path_; }

 private:
  struct Server;
  std::string path_;
  std::unique_ptr<Server> server_;  // what keeps a named pipe open; null for a FIFO
};

}  // namespace mosalith::testing
