// The transports that carry frames between clients and the engine's messenger: a byte stream (standard
// input and output) and a unix stream socket with several clients.
//
// Both serve from one thread that polls every descriptor: it reads requests and delivers them to the
// messenger, and writes the replies that answering threads queue on each connection. No thread ever waits
// for a client: replies are queued (Connection::QueueReply) and written as the client takes them.
// Memory stays bounded by TransportLimits: a client whose replies pile up, or whose requests are still
// being answered, is not read until it catches up (backpressure); a client that takes no reply for
// `stuck_limit` is dropped, with one log line; so is one whose frame would take the server past its
// input limit.
//
// Life of a server: Serve until it returns (the first stop: no new call is read from then on), then, while
// the work already taken on finishes, WriteRepliesUntil as often as the host likes; then shut the engine
// down (no reply can be queued any more), then Drain to write what is still queued, then destroy the
// server.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <string>

#include "flutter/engine/connection.h"
#include "flutter/engine/messenger.h"

namespace flutter::engine {

// A wake-up that stops a serve loop: a pipe whose read end the loop polls.
// Thread safety: Notify may be called from any thread and from a signal handler.
class StopSignal {
 public:
  StopSignal();
  ~StopSignal();
  StopSignal(const StopSignal&) = delete;
  StopSignal& operator=(const StopSignal&) = delete;

  // Async-signal-safe.
  void Notify() const;
  // Forgets the notifications so far, so that the next Notify is seen anew.
  void Clear() const;
  // Forgets one notification (the one a serve loop returned for); later ones stay.
  void TakeOne() const;
  // The descriptor that becomes readable once Notify was called.
  int fd() const { return fds_[0]; }
  // The descriptor Notify writes to, for a signal handler that keeps only an int.
  int notify_fd() const { return fds_[1]; }

 private:
  int fds_[2] = {-1, -1};
};

// Why a serve loop returned. kFailed: for a stream, the connection ended by a failure (a frame above the
// size limit or cut short by the end of input, a read or write error, a client that stopped taking its
// replies); for a socket server, the listening socket failed.
enum class ServeEnd { kEndOfInput, kStopped, kFailed };

// Why WriteRepliesUntil returned: `wake` was notified, `stop` was notified, or the deadline passed.
enum class WaitEnd { kWoken, kStopped, kDeadline };

class ServeLoop;

// Frames on a pair of descriptors (standard input and output): one client.
// Thread safety: one thread uses the server.
class StreamServer {
 public:
  // Neither descriptor is closed by the server. `out_fd` is written without blocking: a pipe is reopened
  // non-blocking through /proc, a socket is sent to with MSG_DONTWAIT, anything else is switched to
  // non-blocking and switched back when the server is destroyed. The caller ignores SIGPIPE.
  StreamServer(int in_fd, int out_fd, TransportLimits limits = {});
  ~StreamServer();
  StreamServer(const StreamServer&) = delete;
  StreamServer& operator=(const StreamServer&) = delete;

  // Reads frames from `in_fd` and delivers each request to `messenger`; replies go to `out_fd`, each
  // carrying its request's id, in the order they are given. Returns at end of input (kEndOfInput), once
  // `stop` is notified (kStopped), or when the connection fails (kFailed). A malformed frame whose length
  // is sound is logged and skipped.
  ServeEnd Serve(EngineMessenger& messenger, const StopSignal& stop);

  // After Serve: writes replies as they are queued, reading nothing (no new call is taken), until `wake`
  // or `stop` is notified or `deadline` passes. A client that fails or takes nothing for too long is
  // dropped as in Serve; the wait goes on without it.
  WaitEnd WriteRepliesUntil(const StopSignal& stop, const StopSignal& wake, std::chrono::steady_clock::time_point deadline);

  // Writes the replies still queued, giving up once the client has taken nothing for drain_limit. Call
  // after the engine has shut down.
  void Drain();

 private:
  std::unique_ptr<ServeLoop> loop_;
  int restore_flags_fd_ = -1;
  int restore_flags_ = 0;
  int own_out_fd_ = -1;
};

// The call a socket server accepts clients with: returns a new non-blocking, close-on-exec descriptor, or
// -1 with errno set. Replaceable so a test can simulate a full descriptor table.
using AcceptFunction = std::function<int(int listen_fd)>;

// A listening unix stream socket. Each client is one connection; the clients are served together and a
// client's malformed frames, slowness or departure never disturb the others.
// Thread safety: one thread uses the server.
class SocketServer {
 public:
  // Binds `path` (mode 0600) and listens. A socket file at `path` that refuses connections (left by a host
  // that did not close) is replaced. Returns nullptr, with one "ERROR: " line, when the socket cannot be
  // created or bound (path too long, in use by a live host, taken by another file, folder missing or not
  // writable). `accept` defaults to accept4.
  static std::unique_ptr<SocketServer> Listen(const std::string& path, TransportLimits limits = {},
                                              AcceptFunction accept = nullptr);
  // Closes the listening socket and every connection, and removes the path.
  ~SocketServer();
  SocketServer(const SocketServer&) = delete;
  SocketServer& operator=(const SocketServer&) = delete;

  // Accepts clients and delivers their requests until `stop` is notified. A client whose input ended
  // stays until its answers are written. When accept fails for want of descriptors or memory (EMFILE,
  // ENFILE, ENOBUFS, ENOMEM), accepting pauses for accept_backoff, with one log line per burst of
  // failures. Returns kStopped, or kFailed when the listening socket fails.
  ServeEnd Serve(EngineMessenger& messenger, const StopSignal& stop);

  // As StreamServer::WriteRepliesUntil, for every client (none is accepted meanwhile).
  WaitEnd WriteRepliesUntil(const StopSignal& stop, const StopSignal& wake, std::chrono::steady_clock::time_point deadline);

  // As StreamServer::Drain, for every client.
  void Drain();

  // Clients connected now (for tests and diagnostics; call between Serve calls or from Serve's thread).
  size_t client_count() const;

 private:
  SocketServer(std::string path, int fd, TransportLimits limits, AcceptFunction accept);
  std::string path_;
  int fd_;
  std::unique_ptr<ServeLoop> loop_;
};

}  // namespace flutter::engine
