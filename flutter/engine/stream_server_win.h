// WinStreamServer: the standard-input-and-output transport on Windows, one client.
//
// Nothing on Windows polls an anonymous pipe or a console, so two threads move the bytes: a reader that
// reads one chunk of standard input whenever the serve loop asks for one, and a writer that writes what
// the connection hands it with blocking writes. The serve loop (the host's thread) gives each chunk to
// the client's Connection (flutter/engine/connection.h), which holds every rule (frames, limits,
// back-pressure, refusals, drops and their log lines), and waits on events. Serve, WriteRepliesUntil and
// Drain do what the POSIX StreamServer's do (flutter/engine/transport.h).
// The threads hold only what they share with the server, so a reader blocked on a standard input that
// never ends is left behind when the server goes (the process ends soon after).
// Thread safety: one thread uses the server; the reply functions it hands out may be called from any.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>

#include "flutter/engine/connection.h"
#include "flutter/engine/messenger.h"
#include "flutter/engine/serve_end.h"

namespace flutter::engine {

class WinStreamServer {
 public:
  // `in_fd` and `out_fd` are C runtime descriptors (standard input, the host's copy of standard output);
  // the server reads and writes their handles directly, in binary, and closes neither.
  WinStreamServer(int in_fd, int out_fd, TransportLimits limits = {});
  ~WinStreamServer();
  WinStreamServer(const WinStreamServer&) = delete;
  WinStreamServer& operator=(const WinStreamServer&) = delete;

  // Reads frames and delivers each request to `messenger`; replies carry their request's id. Returns at
  // end of input (kEndOfInput), once `stop` is notified (kStopped), or when the connection fails
  // (kFailed).
  ServeEnd Serve(EngineMessenger& messenger, const StopSignal& stop);
  // After Serve: writes replies as they are queued, reading nothing, until `wake` or `stop` is notified or
  // `deadline` passes.
  WaitEnd WriteRepliesUntil(const StopSignal& stop, const StopSignal& wake, std::chrono::steady_clock::time_point deadline);
  // Writes the replies still queued, giving up once the client has taken nothing for drain_limit. Call
  // after the engine has shut down.
  void Drain();

  struct State;

 private:
  // Asks the writer to write what the connection holds.
  void KickWriter();
  // Asks the connection whether the client is to be dropped: kEndOfInput when it went away, kFailed when
  // it broke a rule; nullopt while it is served (and after it was dropped).
  std::optional<ServeEnd> Dropped();

  std::shared_ptr<State> state_;
  bool read_asked_ = false;  // the reader was asked for a chunk it has not delivered yet
  bool dropped_ = false;
};

}  // namespace flutter::engine
