// WriteWhole on a POSIX descriptor, which may be non-blocking.
#include <cerrno>
#include <string_view>

#include <poll.h>
#include <unistd.h>

#include "flutter/log.h"

namespace flutter {

void WriteWhole(int fd, std::string_view text) {
  const char* data = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t written = ::write(fd, data, left);
    if (written < 0) {
      if (errno == EINTR) continue;
      // The descriptor may share a non-blocking description; a short wait keeps the text whole.
      pollfd ready{fd, POLLOUT, 0};
      if ((errno == EAGAIN || errno == EWOULDBLOCK) && ::poll(&ready, 1, 100) > 0) continue;
      return;  // gone or stuck; there is nowhere to report it
    }
    data += written;
    left -= static_cast<size_t>(written);
  }
}

}  // namespace flutter
