// One client connection of a transport: its outgoing queue, its share of the memory limits, and the
// wake-up through which answering threads tell the serve loop that there is something to write.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "flutter/engine/wake_pipe.h"

namespace flutter::engine {

// Writes all `size` bytes to `fd`, retrying partial writes and interrupted calls; blocks on a blocking
// descriptor. Sockets are written with MSG_NOSIGNAL; for pipes the process must ignore SIGPIPE. Returns
// false on any error (EPIPE: the reader went away), with errno set. For clients and tests: the transports
// themselves never block on a write.
bool WriteAll(int fd, const uint8_t* data, size_t size, bool is_socket);

// How much one server may hold for its clients, and how long it waits for them.
struct TransportLimits {
  // Replies queued for one client at or above which its further requests are not read (backpressure)
  // until the client has taken some.
  size_t connection_output_bytes = size_t{4} << 20;
  // Replies queued for one client beyond which it is dropped: only a client that stopped reading while
  // requests it sent earlier were still being answered gets here.
  size_t connection_output_hard_bytes = size_t{128} << 20;
  // Requests of one client delivered and not yet answered (bytes and count) at or above which its
  // further requests are not read.
  size_t connection_request_bytes = size_t{16} << 20;
  size_t connection_requests = 4096;
  // The same across all clients of the server: at or above them no client is read.
  size_t total_output_bytes = size_t{256} << 20;
  size_t total_request_bytes = size_t{128} << 20;
  // Bytes of incomplete frames held across all clients; a client whose frame would take more is dropped.
  size_t total_input_bytes = size_t{256} << 20;
  // A client with replies waiting that takes none of them for this long is dropped.
  std::chrono::milliseconds stuck_limit{10000};
  // After accept fails for want of descriptors or memory, no client is accepted for this long.
  std::chrono::milliseconds accept_backoff{250};
  // At the end, queued replies are written until a client has taken nothing for this long (and for at
  // most five times this in all).
  std::chrono::milliseconds drain_limit{1000};
};

// What the connections of one server share: the limits, the totals across clients, the wake-up.
struct TransportShared {
  explicit TransportShared(TransportLimits l) : limits(l) {}
  const TransportLimits limits;
  WakePipe wakeup;  // notified once per burst of replies (NotifyOnce)
  std::atomic<size_t> output_bytes{0};
  std::atomic<size_t> request_bytes{0};
};

// Replies are queued from any thread without ever waiting for the client; the serve loop writes them out
// with non-blocking writes as the client takes them. Reply functions keep the connection alive through a
// shared_ptr; once it is closed, replies are dropped.
// Thread safety: QueueReply, TrackRequest and the counters may be used from any thread; the rest only
// from the serve loop's thread.
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  // `name` appears in log lines. `write_fd` must be non-blocking, or a socket (written with
  // MSG_DONTWAIT). With `owns_fds`, both descriptors are closed by Close or on destruction.
  Connection(std::string name, int read_fd, int write_fd, bool is_socket, bool owns_fds,
             std::shared_ptr<TransportShared> shared);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Any thread; never blocks on the client. Queues the reply frame for request `id` carrying `envelope`
  // (empty = not implemented). Dropped once the connection is closed. When the queue would grow beyond
  // the hard limit the connection is marked overrun (its queue is discarded) for the loop to drop.
  void QueueReply(uint32_t id, const uint8_t* envelope, size_t size);

  // Counts one delivered request of `bytes` until the returned token is released (with the request's
  // reply function, answered or not). The token keeps the connection alive.
  std::shared_ptr<void> TrackRequest(size_t bytes);

  // Serve loop: writes what the client takes now. Returns false when the connection failed (errno set;
  // EPIPE or ECONNRESET: the client went away).
  bool Flush(std::chrono::steady_clock::time_point now);
  // Serve loop: true while replies wait to be written.
  bool has_output() const { return output_bytes_.load() > 0; }
  // Serve loop: true while a Flush left bytes the client has not taken yet; waiting_since() says since
  // when it has taken none.
  bool writing() const { return written_ < writing_.size(); }
  std::chrono::steady_clock::time_point waiting_since() const { return last_progress_; }
  // Serve loop: true while the client's requests are not to be read (its own or the server's limits).
  bool ReadPaused() const;
  // Serve loop: stops reading and writing; later replies are dropped; owned descriptors are closed.
  void Close();

  bool overrun() const { return overrun_.load(); }
  bool closed() const;
  size_t output_bytes() const { return output_bytes_.load(); }
  size_t requests_in_flight() const { return requests_.load(); }
  const std::string& name() const { return name_; }
  int read_fd() const { return read_fd_; }
  int write_fd() const { return write_fd_; }

 private:
  void ReleaseRequest(size_t bytes);
  void Wrote(size_t bytes);

  const std::string name_;
  const int read_fd_;
  const int write_fd_;
  const bool is_socket_;
  const bool owns_fds_;
  const std::shared_ptr<TransportShared> shared_;

  mutable std::mutex mutex_;
  std::vector<uint8_t> incoming_;  // guarded by mutex_: frames queued since the loop last took them
  bool closed_ = false;            // guarded by mutex_

  // The loop's own: bytes being written and how far.
  std::vector<uint8_t> writing_;
  size_t written_ = 0;
  std::chrono::steady_clock::time_point last_progress_{};
  bool fds_closed_ = false;

  std::atomic<size_t> output_bytes_{0};   // queued and not yet written
  std::atomic<size_t> request_bytes_{0};
  std::atomic<size_t> requests_{0};
  std::atomic<bool> overrun_{false};
};

}  // namespace flutter::engine
