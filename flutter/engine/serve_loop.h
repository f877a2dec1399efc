// ServeLoop: the poll loop behind both transports (flutter/engine/transport.h). It reads requests and
// delivers them to the messenger, writes the replies that answering threads queue on each connection,
// enforces the TransportLimits and, for a socket server, accepts clients.
//
// Each round polls, in this order: the stop pipe, the connections' shared wake-up, the listening socket
// (when there is one and accepting is not paused), then each client's read and write sides (a socket in
// one slot for both directions). A client is read only while it is under its limits; a client with
// replies waiting that takes none for `stuck_limit` is dropped.
// Thread safety: one thread uses the loop; client_count() may be read from any thread.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <list>
#include <memory>
#include <string>
#include <vector>

#include <poll.h>

#include "flutter/engine/connection.h"
#include "flutter/engine/frame.h"
#include "flutter/engine/messenger.h"
#include "flutter/engine/serve_end.h"
#include "flutter/engine/wake_pipe.h"

namespace flutter::engine {

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
    FrameReader frames;
    bool input_ended = false;
    // Where the client's descriptors sit in this round's poll set.
    size_t read_slot = kNoSlot;
    size_t write_slot = kNoSlot;
  };
  enum class Read { kMore, kEnded, kFailed };
  // Every round's poll set starts with the stop pipe and the connections' wake-up.
  static constexpr size_t kStopSlot = 0;
  static constexpr size_t kWakeupSlot = 1;
  // How one round's poll went: kInterrupted by a signal (the round starts over), kStopped when `stop`
  // was notified, kFailed with one log line. When kReady, the wake-up has been cleared.
  enum class Round { kReady, kInterrupted, kStopped, kFailed };
  using ClientIt = std::list<Client>::iterator;

  Read ReadAvailable(EngineMessenger& messenger, Client& client);
  void Deliver(EngineMessenger& messenger, Client& client, const std::vector<uint8_t>& body);
  void EndInput(Client& client);
  ClientIt Remove(ClientIt it);
  void AcceptClients(Clock::time_point now);
  void StartRound(const StopSignal& stop);
  Round PollRound(int timeout_ms);
  // Flushes a client whose replies wait and checks it against the limits. Returns false when the client
  // is to be dropped; `*failed` then says whether that was a failure (not the client leaving).
  bool Service(Client& client, bool writable, Clock::time_point now, bool* failed);

  std::shared_ptr<TransportShared> shared_;
  std::list<Client> clients_;
  std::atomic<size_t> client_count_{0};
  size_t input_bytes_ = 0;  // held by the clients' frame readers together
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
