// WinStreamServer: the standard-input-and-output transport on Windows, one client.
//
// Nothing on Windows polls an anonymous pipe or a console, so two threads do the waiting: a reader that
// reads one chunk of standard input whenever the serve loop asks for one, and a writer that writes the
// queued replies with blocking writes. The serve loop (the host's thread) parses frames, delivers
// requests to the messenger and watches the limits, waking on an event. The frames, the limits and what
// Serve, WriteRepliesUntil and Drain do are those of the POSIX StreamServer (flutter/engine/transport.h):
// replies are queued without waiting for the client; a client whose replies pile up, or whose requests
// are still being answered, is not read until it catches up; one that takes no reply for `stuck_limit`
// is dropped with one log line, and so is one whose frame is above the size limit.
// The threads hold only what they share with the server, so a reader blocked on a standard input that
// never ends is left behind when the server goes (the process ends soon after).
// Thread safety: one thread uses the server; the reply functions it hands out may be called from any.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "flutter/engine/connection.h"
#include "flutter/engine/frame.h"
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
  // (kFailed). A malformed frame whose length is sound is logged and skipped.
  ServeEnd Serve(EngineMessenger& messenger, const StopSignal& stop);
  // After Serve: writes replies as they are queued, reading nothing, until `wake` or `stop` is notified or
  // `deadline` passes.
  WaitEnd WriteRepliesUntil(const StopSignal& stop, const StopSignal& wake, std::chrono::steady_clock::time_point deadline);
  // Writes the replies still queued, giving up once the client has taken nothing for drain_limit. Call
  // after the engine has shut down.
  void Drain();

  struct State;

 private:
  // Drops the client, with one log line, once its replies failed, piled up or stalled: kEndOfInput when it
  // went away, kFailed otherwise; nullopt while it is served (and after it was dropped).
  std::optional<ServeEnd> OutputEnd();
  // When the writer's wait for the client becomes a stall; max() while nothing waits.
  std::chrono::steady_clock::time_point StuckAt();
  void Deliver(EngineMessenger& messenger, const std::vector<uint8_t>& body);

  std::shared_ptr<State> state_;
  FrameReader frames_;
  bool read_asked_ = false;  // the reader was asked for a chunk it has not delivered yet
  bool dropped_ = false;
};

}  // namespace flutter::engine
