// WakePipe: a non-blocking pipe that wakes a poll loop.
#include "flutter/engine/wake_pipe.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include <fcntl.h>
#include <unistd.h>

#include "flutter/log.h"

namespace flutter::engine {

WakePipe::WakePipe() {
  if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
    LogLine(std::string("FATAL: cannot create the wake-up pipe: ") + std::strerror(errno));
    std::abort();
  }
}

WakePipe::~WakePipe() {
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void WakePipe::Notify() const {
  const char byte = 1;
  const int saved = errno;
  [[maybe_unused]] const ssize_t ignored = ::write(fds_[1], &byte, 1);
  errno = saved;
}

void WakePipe::NotifyOnce() const {
  if (pending_.exchange(true)) return;
  Notify();
}

void WakePipe::Clear() const {
  // The pipe is emptied before the flag drops: a NotifyOnce that saw the flag still up is covered by the
  // caller's look that follows, and one after it writes a fresh byte. Dropping the flag first could eat
  // that fresh byte here and leave the flag up with an empty pipe, silencing every later NotifyOnce.
  char bytes[64];
  while (::read(fds_[0], bytes, sizeof bytes) > 0) {
  }
  pending_.store(false);
}

void WakePipe::TakeOne() const {
  char byte;
  [[maybe_unused]] const ssize_t got = ::read(fds_[0], &byte, 1);
}

}  // namespace flutter::engine
