// One client connection of a transport.
#include "flutter/engine/connection.h"

#include <cerrno>

#include <sys/socket.h>
#include <unistd.h>

namespace flutter::engine {
namespace {

// A write buffer that grew for a large reply is given back once it has been written.
constexpr size_t kKeptWriteBufferBytes = size_t{1} << 20;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ReleaseIfLarge(std::vector<uint8_t>& buffer) {
  if (buffer.capacity() > kKeptWriteBufferBytes) {
    std::vector<uint8_t>().swap(buffer);
  } else {
    buffer.clear();
  }
}

}  // namespace

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

Connection::Connection(std::string name, int read_fd, int write_fd, bool is_socket, bool owns_fds,
                       std::shared_ptr<TransportShared> shared)
    : name_(std::move(name)),
      read_fd_(read_fd),
      write_fd_(write_fd),
      is_socket_(is_socket),
      owns_fds_(owns_fds),
      shared_(std::move(shared)) {}

Connection::~Connection() {
  if (!fds_closed_ && owns_fds_) {
    ::close(read_fd_);
    if (write_fd_ != read_fd_) ::close(write_fd_);
  }
  // What was never written leaves the server's totals.
  shared_->output_bytes.fetch_sub(output_bytes_.load());
}

void Connection::QueueReply(uint32_t id, const uint8_t* envelope, size_t size) {
  const size_t frame_bytes = 4 + 5 + size;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (output_bytes_.load() + frame_bytes > shared_->limits.connection_output_hard_bytes &&
        output_bytes_.load() > 0) {
      // The client stopped reading while earlier requests were still being answered: it is dropped
      // rather than let its replies take the host's memory.
      overrun_.store(true);
      closed_ = true;
      const size_t discarded = incoming_.size();
      std::vector<uint8_t>().swap(incoming_);
      output_bytes_.fetch_sub(discarded);
      shared_->output_bytes.fetch_sub(discarded);
    } else {
      PutU32(incoming_, static_cast<uint32_t>(5 + size));
      incoming_.push_back(2);  // reply kind
      PutU32(incoming_, id);
      if (size) incoming_.insert(incoming_.end(), envelope, envelope + size);
      output_bytes_.fetch_add(frame_bytes);
      shared_->output_bytes.fetch_add(frame_bytes);
    }
  }
  shared_->wakeup.NotifyOnce();
}

std::shared_ptr<void> Connection::TrackRequest(size_t bytes) {
  request_bytes_.fetch_add(bytes);
  requests_.fetch_add(1);
  shared_->request_bytes.fetch_add(bytes);
  // The token holds no object, only the release; the connection outlives it through `self`.
  return std::shared_ptr<void>(nullptr, [self = shared_from_this(), bytes](void*) { self->ReleaseRequest(bytes); });
}

void Connection::ReleaseRequest(size_t bytes) {
  request_bytes_.fetch_sub(bytes);
  requests_.fetch_sub(1);
  shared_->request_bytes.fetch_sub(bytes);
  // A client paused for its requests in flight may be read again.
  shared_->wakeup.NotifyOnce();
}

bool Connection::ReadPaused() const {
  const TransportLimits& limits = shared_->limits;
  return output_bytes_.load() >= limits.connection_output_bytes ||
         request_bytes_.load() >= limits.connection_request_bytes ||
         requests_.load() >= limits.connection_requests ||
         shared_->output_bytes.load() >= limits.total_output_bytes ||
         shared_->request_bytes.load() >= limits.total_request_bytes;
}

bool Connection::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

void Connection::Wrote(size_t bytes) {
  output_bytes_.fetch_sub(bytes);
  shared_->output_bytes.fetch_sub(bytes);
}

bool Connection::Flush(std::chrono::steady_clock::time_point now) {
  for (;;) {
    if (written_ == writing_.size()) {
      ReleaseIfLarge(writing_);
      written_ = 0;
      {
        std::lock_guard lock(mutex_);
        if (closed_) return true;
        writing_.swap(incoming_);
      }
      if (writing_.empty()) return true;
      // Either everything before was just taken or the connection was idle: the wait starts now.
      last_progress_ = now;
    }
    const uint8_t* data = writing_.data() + written_;
    const size_t size = writing_.size() - written_;
    const ssize_t sent = is_socket_ ? ::send(write_fd_, data, size, MSG_NOSIGNAL | MSG_DONTWAIT)
                                    : ::write(write_fd_, data, size);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      return false;
    }
    written_ += static_cast<size_t>(sent);
    Wrote(static_cast<size_t>(sent));
    last_progress_ = now;
  }
}

void Connection::Close() {
  {
    std::lock_guard lock(mutex_);
    closed_ = true;
    std::vector<uint8_t>().swap(incoming_);
  }
  std::vector<uint8_t>().swap(writing_);
  written_ = 0;
  // Whatever was still queued is dropped with the connection.
  const size_t unsent = output_bytes_.exchange(0);
  shared_->output_bytes.fetch_sub(unsent);
  if (owns_fds_ && !fds_closed_) {
    // Only the loop's thread touches the descriptors, so closing here cannot race a write; the number
    // goes back to the system at once (a full descriptor table is one of the things a host meets).
    ::close(read_fd_);
    if (write_fd_ != read_fd_) ::close(write_fd_);
    fds_closed_ = true;
  }
}

}  // namespace flutter::engine
