// StreamServer: one client on standard input and output, written without blocking.
#include "flutter/engine/stream_server.h"

#include <string>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace flutter::engine {

StreamServer::StreamServer(int in_fd, int out_fd, TransportLimits limits)
    : Transport(std::make_unique<ServeLoop>(limits, -1, nullptr)) {
  struct stat info {};
  const bool known = ::fstat(out_fd, &info) == 0;
  const bool is_socket = known && S_ISSOCK(info.st_mode);
  int write_fd = out_fd;
  if (!is_socket && known && S_ISFIFO(info.st_mode)) {
    // A pipe of our own, opened anew: O_NONBLOCK on the shared one would reach whoever else writes to it
    // (standard error is often the same pipe).
    own_out_fd_ = ::open(("/proc/self/fd/" + std::to_string(out_fd)).c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
    if (own_out_fd_ >= 0) write_fd = own_out_fd_;
  }
  if (!is_socket && write_fd == out_fd) {
    const int flags = ::fcntl(out_fd, F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK) && ::fcntl(out_fd, F_SETFL, flags | O_NONBLOCK) == 0) {
      restore_flags_fd_ = out_fd;
      restore_flags_ = flags;
    }
  }
  loop_->AddClient("standard input", in_fd, write_fd, is_socket, false);
}

StreamServer::~StreamServer() {
  loop_.reset();
  if (own_out_fd_ >= 0) ::close(own_out_fd_);
  if (restore_flags_fd_ >= 0) ::fcntl(restore_flags_fd_, F_SETFL, restore_flags_);
}

ServeEnd StreamServer::Serve(EngineMessenger& messenger, const StopSignal& stop) {
  return loop_->Run(messenger, stop, true);
}

}  // namespace flutter::engine
