// ServeLoop: the POSIX stream adapter behind both transports (flutter/engine/transport.h): one poll loop
// that moves bytes between descriptors and each client's Connection, which holds every rule (frames,
// limits, back-pressure, refusals, drops and their log lines); and, for a socket server, accepts clients.
//
// Each round polls, in this order: the stop pipe, the connections' shared wake-up, the read gate's
// release (while it is held), the listening socket (when there is one and accepting is not paused), then
// each client's read and write sides (a socket in one slot for both directions). A client is read only
// while its Connection does not pause it.
// Thread safety: one thread uses the loop; client_count() may be read from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <poll.h>

#include "flutter/engine/connection.h"
#include "flutter/engine/frame.h"
#include "flutter/engine/messenger.h"
#include "flutter/engine/serve_end.h"
#include "flutter/engine/wake_pipe.h"

namespace flutter::engine {

// Writes all `size` bytes to `fd`, retrying partial writes and interrupted calls; blocks on a blocking
// descriptor. Sockets are written with MSG_NOSIGNAL; for pipes the process must ignore SIGPIPE. Returns
// false on any error (EPIPE: the reader went away), with errno set. For clients and tests: the transports
// themselves never block on a write.
bool WriteAll(int fd, const uint8_t* data, size_t size, bool is_socket);

// The call a socket server accepts clients with: returns a new non-blocking, close-on-exec descriptor, or
// -1 with errno set. Replaceable so a test can simulate a full descriptor table.
using AcceptFunction = std::function<int(int listen_fd)>;

class ServeLoop {
 public:
  using Clock = std::chrono::steady_clock;

  // `listen_fd` -1: no clients are accepted (a stream server). `accept` defaults to accept4.
  ServeLoop(TransportLimits limits, int listen_fd, AcceptFunction accept);
  // Closes every connection.
  ~ServeLoop();
  ServeLoop(const ServeLoop&) = delete;
  ServeLoop& operator=(const ServeLoop&) = delete;

  // A client on `read_fd` and `write_fd` (which must be non-blocking, or a socket); `name` appears in log
  // lines. With `owns_fds` its descriptors are closed when it is dropped.
  void AddClient(std::string name, int read_fd, int write_fd, bool is_socket, bool owns_fds);

  // Serves until `stop` is notified or the listening socket fails. `single`: the loop serves one stream
  // and returns as soon as that stream ends (kEndOfInput, or kFailed for a failure).
  ServeEnd Run(EngineMessenger& messenger, const StopSignal& stop, bool single);
  // Writes replies, reading nothing and accepting no one, until `wake` or `stop` is notified or
  // `deadline` passes.
  WaitEnd WriteUntil(const StopSignal& stop, const StopSignal& wake, Clock::time_point deadline);
  // Writes what is still queued, dropping a client that takes nothing for drain_limit (and giving up
  // after five times that in all).
  void Drain();
  size_t client_count() const { return client_count_.load(); }

 private:
  static constexpr size_t kNoSlot = SIZE_MAX;
  struct Client {
    std::shared_ptr<Connection> connection;
    int read_fd = -1;
    int write_fd = -1;
    bool is_socket = false;
    bool owns_fds = false;
    bool input_ended = false;
    // Where the client's descriptors sit in this round's poll set.
    size_t read_slot = kNoSlot;
    size_t write_slot = kNoSlot;
  };
  enum class Read { kMore, kEnded, kFailed };
  // Every round's poll set starts with the stop pipe, the connections' wake-up and the read gate's
  // release (-1 unless the gate is held).
  static constexpr size_t kStopSlot = 0;
  static constexpr size_t kWakeupSlot = 1;
  static constexpr size_t kGateSlot = 2;
  // How one round's poll went: kInterrupted by a signal (the round starts over), kStopped when `stop`
  // was notified, kFailed with one log line. When kReady, the wake-up has been cleared.
  enum class Round { kReady, kInterrupted, kStopped, kFailed };
  using ClientIt = std::list<Client>::iterator;

  Read ReadAvailable(EngineMessenger& messenger, Client& client);
  // Writes what the client takes now; false when the write failed (told to the connection).
  bool Flush(Client& client, Clock::time_point now);
  ClientIt Remove(ClientIt it);
  void AcceptClients(Clock::time_point now);
  void StartRound(const StopSignal& stop);
  Clock::time_point AddToRound(Client& client, bool read);
  Round PollRound(int timeout_ms);
  // Flushes a client whose replies wait and asks its connection whether it is to be dropped.
  std::optional<Connection::Drop> Service(Client& client, bool writable, Clock::time_point now);

  std::shared_ptr<TransportShared> shared_;
  std::list<Client> clients_;
  std::atomic<size_t> client_count_{0};
  int listen_fd_;
  AcceptFunction accept_;
  Clock::time_point accept_paused_until_{};
  bool accept_failing_ = false;
  unsigned next_client_ = 1;
  std::vector<uint8_t> chunk_;
  std::vector<pollfd> fds_;
};

// What both servers share: their serve loop, and what they do after Serve has returned.
// Thread safety: one thread uses the server.
class Transport {
 public:
  Transport(const Transport&) = delete;
  Transport& operator=(const Transport&) = delete;

  // After Serve: writes replies as they are queued, reading nothing (no new call is taken, no client is
  // accepted), until `wake` or `stop` is notified or `deadline` passes. A client that fails or takes
  // nothing for too long is dropped as in Serve; the wait goes on without it.
  WaitEnd WriteRepliesUntil(const StopSignal& stop, const StopSignal& wake, std::chrono::steady_clock::time_point deadline);

  // Writes the replies still queued, giving up on a client once it has taken nothing for drain_limit.
  // Call after the engine has shut down.
  void Drain();

 protected:
  explicit Transport(std::unique_ptr<ServeLoop> loop);
  ~Transport();
  std::unique_ptr<ServeLoop> loop_;
};

}  // namespace flutter::engine
