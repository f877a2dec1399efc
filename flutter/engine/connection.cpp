// One client connection of a transport.
#include "flutter/engine/connection.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <sys/socket.h>
#include <unistd.h>

namespace flutter::engine {

bool WriteAll(int fd, const uint8_t* data, size_t size, bool is_socket) {
  while (size > 0) {
    const ssize_t written = is_socket ? ::send(fd, data, size, MSG_NOSIGNAL) : ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

Connection::Connection(std::string name, int read_fd, int write_fd, bool is_socket, bool owns_fds)
    : name_(std::move(name)), read_fd_(read_fd), write_fd_(write_fd), is_socket_(is_socket), owns_fds_(owns_fds) {}

Connection::~Connection() {
  if (!owns_fds_) return;
  ::close(read_fd_);
  if (write_fd_ != read_fd_) ::close(write_fd_);
}

bool Connection::WriteFrame(const std::vector<uint8_t>& frame) {
  std::lock_guard lock(write_mutex_);
  if (broken_) return false;
  if (WriteAll(write_fd_, frame.data(), frame.size(), is_socket_)) return true;
  // A half-written frame leaves the stream out of step, so nothing more is written to it.
  broken_ = true;
  if (errno != EPIPE) {
    std::fprintf(stderr, "ERROR: cannot write a reply to %s: %s\n", name_.c_str(), std::strerror(errno));
  }
  return false;
}

}  // namespace flutter::engine
