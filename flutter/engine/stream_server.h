// StreamServer: the transport over a pair of descriptors (standard input and output), one client.
#pragma once

#include "flutter/engine/connection.h"
#include "flutter/engine/messenger.h"
#include "flutter/engine/serve_loop.h"

namespace flutter::engine {

// Frames on a pair of descriptors (standard input and output): one client. After Serve, as Transport
// says.
// Thread safety: one thread uses the server.
class StreamServer : public Transport {
 public:
  // Neither descriptor is closed by the server. `out_fd` is written without blocking: a pipe is reopened
  // non-blocking through /proc, a socket is sent to with MSG_DONTWAIT, anything else is switched to
  // non-blocking and switched back when the server is destroyed. The caller ignores SIGPIPE.
  StreamServer(int in_fd, int out_fd, TransportLimits limits = {});
  ~StreamServer();

  // Reads frames from `in_fd` and delivers each request to `messenger`; replies go to `out_fd`, each
  // carrying its request's id, in the order they are given. Returns at end of input (kEndOfInput), once
  // `stop` is notified (kStopped), or when the connection fails (kFailed); the connection's rules are
  // flutter/engine/connection.h's.
  ServeEnd Serve(EngineMessenger& messenger, const StopSignal& stop);

 private:
  int restore_flags_fd_ = -1;
  int restore_flags_ = 0;
  int own_out_fd_ = -1;
};

}  // namespace flutter::engine
