// The transports that carry frames between clients and the engine's messenger: a byte stream (standard
// input and output) and a unix stream socket with several clients.
#pragma once

#include <memory>
#include <string>

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
  // The descriptor that becomes readable once Notify was called.
  int fd() const { return fds_[0]; }
  // The descriptor Notify writes to, for a signal handler that keeps only an int.
  int notify_fd() const { return fds_[1]; }

 private:
  int fds_[2] = {-1, -1};
};

// Why a serve loop returned.
enum class ServeEnd { kEndOfInput, kStopped, kFailed };

// Reads frames from `in_fd` and delivers each request to `messenger`; replies go to `out_fd`, each carrying
// its request's id, in the order they are given. Returns at end of input or once `stop` is notified.
// A malformed frame is logged and skipped; a hostile length or a read error ends the stream. Replies given
// after the return are still written while the messenger runs; the caller closes neither descriptor before
// the messenger has shut down. The caller ignores SIGPIPE.
ServeEnd ServeStream(EngineMessenger& messenger, int in_fd, int out_fd, const StopSignal& stop);

// A listening unix stream socket. Each client is one connection; the clients are served together and a
// client's malformed frames or departure never disturb the others.
// Thread safety: one thread calls Serve.
class SocketServer {
 public:
  // Binds `path` (mode 0600) and listens. A socket file at `path` that refuses connections (left by a host
  // that did not close) is replaced. Returns nullptr, with one "ERROR: " line, when the socket cannot be
  // created or bound (path too long, in use by a live host, taken by another file, folder missing or not
  // writable).
  static std::unique_ptr<SocketServer> Listen(const std::string& path);
  // Closes the listening socket and removes its path.
  ~SocketServer();
  SocketServer(const SocketServer&) = delete;
  SocketServer& operator=(const SocketServer&) = delete;

  // Accepts clients and delivers their requests until `stop` is notified. Connections still waiting for
  // answers stay open until those answers are given or dropped. Returns kStopped, or kFailed when the
  // listening socket fails.
  ServeEnd Serve(EngineMessenger& messenger, const StopSignal& stop);

 private:
  SocketServer(std::string path, int fd) : path_(std::move(path)), fd_(fd) {}
  std::string path_;
  int fd_;
};

}  // namespace flutter::engine
