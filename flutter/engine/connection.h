// One client connection of a transport: the descriptors its frames are read from and its replies written to.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace flutter::engine {

// Writes all `size` bytes to `fd`, retrying partial writes and interrupted calls. Sockets are written with
// MSG_NOSIGNAL; for pipes the process must ignore SIGPIPE. Returns false on any error (EPIPE: the reader
// went away), with errno set.
bool WriteAll(int fd, const uint8_t* data, size_t size, bool is_socket);

// Replies are written whole, one frame at a time, from any thread. The descriptors are closed when the
// connection is destroyed (if owned), so a reply that arrives after the client left never writes to a
// reused descriptor number: reply functions keep the connection alive through a shared_ptr.
// Thread safety: WriteFrame and MarkBroken may be called from any thread.
class Connection {
 public:
  // `name` appears in log lines. With `owns_fds`, both descriptors are closed on destruction.
  Connection(std::string name, int read_fd, int write_fd, bool is_socket, bool owns_fds);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Writes one whole frame. Returns false (and writes nothing more, ever) once a write has failed.
  bool WriteFrame(const std::vector<uint8_t>& frame);

  const std::string& name() const { return name_; }
  int read_fd() const { return read_fd_; }

 private:
  const std::string name_;
  const int read_fd_;
  const int write_fd_;
  const bool is_socket_;
  const bool owns_fds_;
  std::mutex write_mutex_;
  bool broken_ = false;
};

}  // namespace flutter::engine
