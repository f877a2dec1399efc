// StreamServer: the transport over a pair of descriptors (standard input and output), one client.
#pragma once

#include <chrono>
#include <memory>

#include "flutter/engine/connection.h"
#include "flutter/engine/messenger.h"
#include "flutter/engine/serve_loop.h"

namespace flutter::engine {

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

}  // namespace flutter::engine
