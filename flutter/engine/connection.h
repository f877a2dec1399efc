// Connection: the rules of one client connection, written once for every transport. It turns the bytes a
// client sends into requests for the messenger, queues the replies answering threads give, and decides
// when the client is read, refused, paused or dropped, with the log lines that say so. It makes no
// system call: a stream adapter moves the bytes (the poll loop of serve_loop.cpp on POSIX, the reader
// and writer threads of stream_server_win.cpp on Windows).
//
// The rules:
// - Frames are read whole. A request of at least `large_request_bytes` is held only while the large
//   requests of every client (being read or being answered) stay within `total_large_request_bytes`, and
//   none is above kMaxFrameBytes; any other is refused: skipped as it streams in, never held, and
//   answered at once with the error "REQUEST_TOO_LARGE". So a large request never stops its connection
//   from reading the calls behind it.
// - Smaller requests being answered, and replies the client has not taken, pause reading the client at
//   the limits below (back-pressure), as does a held ReadGate (the host's lanes are full). Nothing that
//   was read is dropped.
// - A client that takes no reply for `stuck_limit` is dropped, and so is one whose replies pile up beyond
//   the hard limit while it does not read; at the end, one that takes nothing for `drain_limit`.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "flutter/engine/frame.h"
#include "flutter/engine/messenger.h"
#include "flutter/engine/read_gate.h"
#include "flutter/engine/wake_pipe.h"

namespace flutter::engine {

// How much one server may hold for its clients, and how long it waits for them.
struct TransportLimits {
  // Replies queued for one client at or above which its further requests are not read (backpressure)
  // until the client has taken some.
  size_t connection_output_bytes = size_t{4} << 20;
  // Replies queued for one client beyond which it is dropped: only a client that stopped reading while
  // requests it sent earlier were still being answered gets here.
  size_t connection_output_hard_bytes = size_t{128} << 20;
  // Requests below `large_request_bytes` of one client delivered and not yet answered (bytes and count)
  // at or above which its further requests are not read.
  size_t connection_request_bytes = size_t{16} << 20;
  size_t connection_requests = 4096;
  // The same across all clients of the server: at or above them no client is read.
  size_t total_output_bytes = size_t{256} << 20;
  size_t total_request_bytes = size_t{128} << 20;
  // Requests this large are held only within the total below, across all clients, from the moment their
  // length is read until they are answered; beyond it they are refused.
  size_t large_request_bytes = size_t{1} << 20;
  size_t total_large_request_bytes = size_t{256} << 20;
  // A client with replies waiting that takes none of them for this long is dropped.
  std::chrono::milliseconds stuck_limit{10000};
  // After accept fails for want of descriptors or memory, no client is accepted for this long.
  std::chrono::milliseconds accept_backoff{250};
  // At the end, queued replies are written until a client has taken nothing for this long (and for at
  // most five times this in all).
  std::chrono::milliseconds drain_limit{1000};
  // Held by the host while it has no room for more calls: no client is read. May be null; must outlive
  // the server.
  const ReadGate* read_gate = nullptr;
};

// The error code a refused request is answered with.
inline constexpr char kRequestTooLargeCode[] = "REQUEST_TOO_LARGE";

// What the connections of one server share: the limits, the totals across clients, the wake-up.
struct TransportShared {
  explicit TransportShared(TransportLimits l) : limits(l) {}
  const TransportLimits limits;
  WakePipe wakeup;  // notified once per burst of replies and released requests (NotifyOnce)
  std::atomic<size_t> output_bytes{0};
  std::atomic<size_t> request_bytes{0};
  std::atomic<size_t> large_request_bytes{0};
};

// Thread safety: QueueReply and the const observers may be used from any thread. Receive, InputEnded,
// ReadFailed, Check, CheckAtClose and Close belong to the thread that reads the client (the serve loop);
// Output, Wrote and WriteFailed to the one thread that writes to it (the same loop on POSIX, a writer
// thread on Windows).
class Connection : public std::enable_shared_from_this<Connection> {
 public:
  using Clock = std::chrono::steady_clock;

  // `name` appears in log lines.
  Connection(std::string name, std::shared_ptr<TransportShared> shared);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Any thread; never waits for the client. Queues the reply frame for request `id` carrying `envelope`
  // (empty = not implemented). Dropped once the connection is closed. When the queue would grow beyond
  // the hard limit the connection is marked overrun (its queue is discarded) for Check to drop.
  void QueueReply(uint32_t id, const uint8_t* envelope, size_t size);

  // Reading side. Receive takes bytes the client sent: each whole request goes to `messenger`, a refused
  // one is answered at once, a malformed one is logged and skipped. InputEnded: the client sent all it
  // will; false (logged) when that cut a frame short. ReadFailed logs why reading failed.
  void Receive(EngineMessenger& messenger, const uint8_t* data, size_t size);
  bool InputEnded();
  void ReadFailed(const std::string& reason);
  // True while the client is not to be read: its own or the server's limits, or a held ReadGate.
  bool ReadPaused() const;

  // Writing side. Output: the bytes to write next (queued replies are taken in once what was handed out
  // before has been written); size 0 when nothing waits. Wrote: `bytes` of them reached the client.
  // WriteFailed: a write failed; `gone` when the client went away (nothing is logged), else `reason` is.
  struct Bytes {
    const uint8_t* data = nullptr;
    size_t size = 0;
  };
  Bytes Output(Clock::time_point now);
  void Wrote(size_t bytes, Clock::time_point now);
  void WriteFailed(bool gone, const std::string& reason);

  // Why a client is let go: it left (its writes found no reader), or it broke a rule (logged).
  enum class Drop { kLeft, kFailed };
  // The serve loop, each time it looks: whether the client is to be dropped now (overrun, a failed write,
  // or no reply taken for stuck_limit); nullopt while it is served.
  std::optional<Drop> Check(Clock::time_point now);
  // The same at the end, when a client that takes nothing for drain_limit, or is still writing at
  // `give_up`, is let go too.
  std::optional<Drop> CheckAtClose(Clock::time_point now, Clock::time_point give_up);
  // When Check, and CheckAtClose, will next drop the client for being stuck (max() while no bytes wait
  // for it).
  Clock::time_point StuckAt() const;
  Clock::time_point DrainAt(Clock::time_point give_up) const;
  // Stops reading and taking replies and drops what is queued or half read; the writer gives back its
  // bytes at its next call.
  void Close();

  bool has_output() const { return output_bytes_.load() > 0; }
  // Bytes handed to the writer and not all taken by the client yet.
  bool writing() const;
  bool closed() const;
  size_t output_bytes() const { return output_bytes_.load(); }
  size_t requests_in_flight() const { return requests_.load(); }
  // Reading side: bytes of memory held for frames not yet whole.
  size_t input_held_bytes() const { return frames_.held_bytes(); }
  const std::string& name() const { return name_; }

 private:
  void Admit(EngineMessenger& messenger, const std::vector<uint8_t>& body, bool large);
  // Refuses the frame whose length was just read, with one line saying `why`.
  void Refuse(std::string why);
  void AnswerRefused(const FrameReader::Refused& refused);
  std::shared_ptr<void> TrackRequest(size_t bytes, bool large);
  void ReleaseRequest(size_t bytes, bool large);
  // Under mutex_: forgets every reply not yet handed out.
  void DiscardQueued();

  const std::string name_;
  const std::shared_ptr<TransportShared> shared_;

  // The reading side's own.
  FrameReader frames_;
  bool large_admitted_ = false;  // the frame being read was admitted as large (its bytes are reserved)
  std::string refusal_;          // why the frame being skipped was refused

  mutable std::mutex mutex_;
  std::vector<uint8_t> incoming_;  // frames queued since the writer last took them
  std::vector<uint8_t> writing_;   // handed to the writer; only the writer changes it
  size_t written_ = 0;
  Clock::time_point last_progress_{};
  bool closed_ = false;
  bool overrun_ = false;
  std::optional<Drop> write_failure_;
  std::string write_error_;

  std::atomic<size_t> output_bytes_{0};  // queued and not yet written
  std::atomic<size_t> request_bytes_{0};
  std::atomic<size_t> requests_{0};
};

}  // namespace flutter::engine
