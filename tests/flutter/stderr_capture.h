// StderrCapture: collects everything written to standard error (descriptor 2, std::cerr included) while
// it lives, for tests of the lines the channel layer writes.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

#include <fcntl.h>
#include <unistd.h>

namespace flutter::testing {

class StderrCapture {
 public:
  StderrCapture() {
    std::cerr.flush();
    char path[] = "/tmp/stderr-capture-XXXXXX";
    fd_ = ::mkstemp(path);
    ::unlink(path);
    // Appending, so that emptying the file (str("")) sends the next line to its start.
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) | O_APPEND);
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(fd_, STDERR_FILENO);
  }
  ~StderrCapture() {
    std::cerr.flush();
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    ::close(fd_);
  }
  StderrCapture(const StderrCapture&) = delete;
  StderrCapture& operator=(const StderrCapture&) = delete;

  // Everything written so far.
  std::string str() const {
    std::cerr.flush();
    std::string text;
    char buffer[4096];
    ssize_t got;
    for (off_t at = 0; (got = ::pread(fd_, buffer, sizeof buffer, at)) > 0; at += got) text.append(buffer, size_t(got));
    return text;
  }
  // Forgets what was written so far (only the empty string is accepted, as with a string stream's reset).
  void str(const std::string&) {
    std::cerr.flush();
    [[maybe_unused]] int ignored = ::ftruncate(fd_, 0);
  }

 private:
  int fd_ = -1;
  int saved_ = -1;
};

}  // namespace flutter::testing
