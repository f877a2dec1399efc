// SocketServer: the transport over a listening unix stream socket, several clients at once.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "flutter/engine/connection.h"
#include "flutter/engine/messenger.h"
#include "flutter/engine/serve_loop.h"

namespace flutter::engine {

// A listening unix stream socket. Each client is one connection; the clients are served together and a
// client's malformed frames, slowness or departure never disturb the others. After Serve, as Transport
// says, for every client.
// Thread safety: one thread uses the server.
class SocketServer : public Transport {
 public:
  // Binds `path` (mode 0600) and listens. A socket file at `path` that refuses connections (left by a host
  // that did not close) is replaced. Returns nullptr, with one "ERROR: " line, when the socket cannot be
  // created or bound (path too long, in use by a live host, taken by another file, folder missing or not
  // writable). `accept` defaults to accept4.
  static std::unique_ptr<SocketServer> Listen(const std::string& path, TransportLimits limits = {},
                                              AcceptFunction accept = nullptr);
  // Closes the listening socket and every connection, and removes the path.
  ~SocketServer();

  // Accepts clients and delivers their requests until `stop` is notified. A client whose input ended
  // stays until its answers are written. When accept fails for want of descriptors or memory (EMFILE,
  // ENFILE, ENOBUFS, ENOMEM), accepting pauses for accept_backoff, with one log line per burst of
  // failures. Returns kStopped, or kFailed when the listening socket fails.
  ServeEnd Serve(EngineMessenger& messenger, const StopSignal& stop);

  // Clients connected now (for tests and diagnostics; call between Serve calls or from Serve's thread).
  size_t client_count() const;

 private:
  SocketServer(std::string path, int fd, TransportLimits limits, AcceptFunction accept);
  std::string path_;
  int fd_;
};

}  // namespace flutter::engine
