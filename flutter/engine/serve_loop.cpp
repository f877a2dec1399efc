// ServeLoop: reading requests, writing replies, accepting clients, within the limits.
#include "flutter/engine/serve_loop.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include "flutter/log.h"

namespace flutter::engine {
namespace {

using Clock = ServeLoop::Clock;

constexpr size_t kReadChunkBytes = 64 * 1024;
// Clients admitted per wake-up of the listening socket, so a crowd at the door is let in quickly while
// the clients already in are still served between rounds.
constexpr int kAcceptsPerRound = 16;

std::string Errno(int error) { return std::strerror(error); }

int DefaultAccept(int listen_fd) { return ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK); }

int Milliseconds(Clock::duration d) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, 60'000));
}

}  // namespace

ServeLoop::ServeLoop(TransportLimits limits, int listen_fd, AcceptFunction accept)
    : shared_(std::make_shared<TransportShared>(limits)),
      listen_fd_(listen_fd),
      accept_(accept ? std::move(accept) : AcceptFunction(DefaultAccept)),
      chunk_(kReadChunkBytes) {}

ServeLoop::~ServeLoop() {
  for (Client& client : clients_) client.connection->Close();
}

void ServeLoop::AddClient(std::string name, int read_fd, int write_fd, bool is_socket, bool owns_fds) {
  Client client;
  client.connection = std::make_shared<Connection>(std::move(name), read_fd, write_fd, is_socket, owns_fds, shared_);
  clients_.push_back(std::move(client));
  client_count_.store(clients_.size());
}

ServeLoop::Read ServeLoop::ReadAvailable(EngineMessenger& messenger, Client& client) {
  const Connection& connection = *client.connection;
  ssize_t got;
  do {
    got = ::read(connection.read_fd(), chunk_.data(), chunk_.size());
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Read::kMore;
    LogLine("ERROR: cannot read from " + connection.name() + ": " + Errno(errno));
    return Read::kFailed;
  }
  if (got == 0) {
    if (client.frames.pending_bytes() > 0) {
      LogInputLine("ERROR: frame from " + connection.name() + " cut short by the end of input (" +
                   std::to_string(client.frames.pending_bytes()) + " bytes dropped)");
      return Read::kFailed;
    }
    return Read::kEnded;
  }
  input_bytes_ -= client.frames.held_bytes();
  client.frames.Feed(chunk_.data(), static_cast<size_t>(got));
  std::vector<uint8_t> body;
  while (client.frames.Next(&body)) Deliver(messenger, client, body);
  input_bytes_ += client.frames.held_bytes();
  if (client.frames.failed()) {
    LogInputLine("ERROR: frame length from " + connection.name() + " above the limit of " +
                 std::to_string(kMaxFrameBytes) + " bytes; connection ended");
    return Read::kFailed;
  }
  if (input_bytes_ > shared_->limits.total_input_bytes) {
    LogLine("ERROR: incomplete frames of all clients above " + std::to_string(shared_->limits.total_input_bytes) +
            " bytes; " + connection.name() + " dropped");
    return Read::kFailed;
  }
  return Read::kMore;
}

void ServeLoop::Deliver(EngineMessenger& messenger, Client& client, const std::vector<uint8_t>& body) {
  std::string error;
  auto request = ParseRequest(body.data(), body.size(), &error);
  if (!request) {
    LogInputLine("ERROR: malformed frame from " + client.connection->name() + " skipped: " + error);
    return;
  }
  const uint32_t id = request->id;
  ReplyTarget target;
  target.send = [connection = client.connection, id, token = client.connection->TrackRequest(body.size())](
                    const uint8_t* envelope, size_t size) { connection->QueueReply(id, envelope, size); };
  messenger.DeliverMessage(std::move(request->channel), std::move(request->message), std::move(target));
}

void ServeLoop::EndInput(Client& client) {
  client.input_ended = true;
  input_bytes_ -= client.frames.held_bytes();
  client.frames = FrameReader();
}

ServeLoop::ClientIt ServeLoop::Remove(ClientIt it) {
  EndInput(*it);
  it->connection->Close();
  it = clients_.erase(it);
  client_count_.store(clients_.size());
  return it;
}

bool ServeLoop::Service(Client& client, bool writable, Clock::time_point now, bool* failed) {
  Connection& connection = *client.connection;
  *failed = true;
  if (connection.overrun()) {
    LogLine("ERROR: " + connection.name() + " stopped reading while its replies piled up beyond " +
            std::to_string(shared_->limits.connection_output_hard_bytes) + " bytes; connection dropped");
    return false;
  }
  if (writable || (connection.has_output() && !connection.writing())) {
    if (!connection.Flush(now)) {
      const int error = errno;
      if (error == EPIPE || error == ECONNRESET) {
        *failed = false;  // the client went away
      } else {
        LogLine("ERROR: cannot write replies to " + connection.name() + ": " + Errno(error));
      }
      return false;
    }
  }
  if (connection.writing() && now - connection.waiting_since() >= shared_->limits.stuck_limit) {
    LogLine("ERROR: " + connection.name() + " took no reply for " +
            std::to_string(shared_->limits.stuck_limit.count()) + " ms; connection dropped with " +
            std::to_string(connection.output_bytes()) + " bytes unsent");
    return false;
  }
  return true;
}

void ServeLoop::AcceptClients(Clock::time_point now) {
  for (int round = 0; round < kAcceptsPerRound; ++round) {
    const int fd = accept_(listen_fd_);
    if (fd < 0) {
      const int error = errno;
      if (error == EINTR || error == ECONNABORTED) continue;
      if (error == EAGAIN || error == EWOULDBLOCK) return;
      if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
        // Out of descriptors: the waiting client stays in the backlog and keeps the socket readable, so
        // accepting pauses rather than spinning; one line for the whole burst.
        accept_paused_until_ = now + shared_->limits.accept_backoff;
        if (!accept_failing_) {
          LogLine("ERROR: cannot accept clients: " + Errno(error) + "; retrying every " +
                  std::to_string(shared_->limits.accept_backoff.count()) + " ms until one is accepted");
          accept_failing_ = true;
        }
        return;
      }
      LogInputLine("ERROR: accept failed: " + Errno(error));
      return;
    }
    if (accept_failing_) {
      LogLine("INFO: accepting clients again");
      accept_failing_ = false;
    }
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0 && !(flags & O_NONBLOCK)) ::fcntl(fd, F_SETFL, flags | O_NONBLOCK);
    AddClient("client " + std::to_string(next_client_++), fd, fd, true, true);
  }
}

void ServeLoop::StartRound(const StopSignal& stop) {
  fds_.clear();
  fds_.push_back({stop.fd(), POLLIN, 0});
  fds_.push_back({shared_->wakeup.fd(), POLLIN, 0});
}

ServeLoop::Round ServeLoop::PollRound(int timeout_ms) {
  if (::poll(fds_.data(), fds_.size(), timeout_ms) < 0) {
    if (errno == EINTR) return Round::kInterrupted;
    LogLine("ERROR: poll failed: " + Errno(errno));
    return Round::kFailed;
  }
  if (fds_[kStopSlot].revents) return Round::kStopped;
  if (fds_[kWakeupSlot].revents) shared_->wakeup.Clear();
  return Round::kReady;
}

ServeEnd ServeLoop::Run(EngineMessenger& messenger, const StopSignal& stop, bool single) {
  const TransportLimits& limits = shared_->limits;
  for (;;) {
    Clock::time_point now = Clock::now();
    StartRound(stop);
    const bool accepting = listen_fd_ >= 0 && now >= accept_paused_until_;
    const size_t listen_slot = fds_.size();
    fds_.push_back({accepting ? listen_fd_ : -1, POLLIN, 0});
    Clock::time_point wake_at = Clock::time_point::max();
    if (listen_fd_ >= 0 && !accepting) wake_at = accept_paused_until_;
    for (Client& client : clients_) {
      const Connection& connection = *client.connection;
      const bool reading = !client.input_ended && !connection.ReadPaused();
      // A socket takes one slot for both directions: poll refuses more slots than the descriptor limit,
      // which is exactly when many clients are connected.
      client.read_slot = fds_.size();
      fds_.push_back({reading ? connection.read_fd() : -1, static_cast<short>(reading ? POLLIN : 0), 0});
      if (connection.write_fd() == connection.read_fd()) {
        client.write_slot = client.read_slot;
        if (connection.writing()) {
          fds_.back().fd = connection.write_fd();
          fds_.back().events |= POLLOUT;
        }
      } else {
        client.write_slot = fds_.size();
        fds_.push_back({connection.writing() ? connection.write_fd() : -1, POLLOUT, 0});
      }
      if (connection.writing()) wake_at = std::min(wake_at, connection.waiting_since() + limits.stuck_limit);
    }
    const int timeout = wake_at == Clock::time_point::max() ? -1 : Milliseconds(wake_at - now);
    const Round round = PollRound(timeout);
    if (round == Round::kInterrupted) continue;
    if (round != Round::kReady) return round == Round::kStopped ? ServeEnd::kStopped : ServeEnd::kFailed;
    now = Clock::now();

    for (auto it = clients_.begin(); it != clients_.end();) {
      Client& client = *it;
      if (client.read_slot == kNoSlot) {  // accepted during this round
        ++it;
        continue;
      }
      const short read_events = fds_[client.read_slot].revents;
      const short write_events = fds_[client.write_slot].revents;
      const bool was_reading = (fds_[client.read_slot].events & POLLIN) && fds_[client.read_slot].fd >= 0;
      bool failed = false;
      bool keep = true;
      if (was_reading && (read_events & (POLLIN | POLLHUP | POLLERR))) {
        const Read read = ReadAvailable(messenger, client);
        if (read != Read::kMore) {
          if (single) return read == Read::kEnded ? ServeEnd::kEndOfInput : ServeEnd::kFailed;
          EndInput(client);
        }
      }
      const bool writable = client.connection->writing() && (write_events & (POLLOUT | POLLHUP | POLLERR));
      if (!Service(client, writable, now, &failed)) {
        if (single) {
          Remove(it);  // nothing more can be written to it, at close either
          return failed ? ServeEnd::kFailed : ServeEnd::kEndOfInput;
        }
        keep = false;
      } else if (client.input_ended && !client.connection->has_output() &&
                 client.connection->requests_in_flight() == 0) {
        keep = false;  // said all it had to say and has every answer
      }
      it = keep ? std::next(it) : Remove(it);
    }

    if (fds_[listen_slot].revents & (POLLERR | POLLNVAL)) {
      LogLine("ERROR: listening socket failed");
      return ServeEnd::kFailed;
    }
    if (fds_[listen_slot].revents & POLLIN) AcceptClients(now);
  }
}

WaitEnd ServeLoop::WriteUntil(const StopSignal& stop, const StopSignal& wake, Clock::time_point deadline) {
  const TransportLimits& limits = shared_->limits;
  for (;;) {
    Clock::time_point now = Clock::now();
    if (now >= deadline) return WaitEnd::kDeadline;
    StartRound(stop);
    const size_t wake_slot = fds_.size();
    fds_.push_back({wake.fd(), POLLIN, 0});
    Clock::time_point wake_at = deadline;
    for (Client& client : clients_) {
      const Connection& connection = *client.connection;
      client.read_slot = kNoSlot;
      client.write_slot = fds_.size();
      fds_.push_back({connection.writing() ? connection.write_fd() : -1, POLLOUT, 0});
      if (connection.writing()) wake_at = std::min(wake_at, connection.waiting_since() + limits.stuck_limit);
    }
    const Round round = PollRound(Milliseconds(wake_at - now));
    if (round == Round::kInterrupted) continue;
    if (round != Round::kReady) return round == Round::kStopped ? WaitEnd::kStopped : WaitEnd::kDeadline;
    now = Clock::now();
    for (auto it = clients_.begin(); it != clients_.end();) {
      const short events = fds_[it->write_slot].revents;
      const bool writable = it->connection->writing() && (events & (POLLOUT | POLLHUP | POLLERR));
      bool failed = false;
      it = Service(*it, writable, now, &failed) ? std::next(it) : Remove(it);
    }
    if (fds_[wake_slot].revents) return WaitEnd::kWoken;
  }
}

void ServeLoop::Drain() {
  const TransportLimits& limits = shared_->limits;
  const Clock::time_point give_up = Clock::now() + 5 * limits.drain_limit;
  std::vector<Client*> writing;
  for (;;) {
    const Clock::time_point now = Clock::now();
    writing.clear();
    fds_.clear();
    for (auto it = clients_.begin(); it != clients_.end();) {
      Connection& connection = *it->connection;
      if (connection.has_output() && !connection.Flush(now)) {
        it = Remove(it);
        continue;
      }
      if (connection.writing()) {
        if (now - connection.waiting_since() >= limits.drain_limit || now >= give_up) {
          LogLine("ERROR: " + connection.name() + " took no reply at close; " +
                  std::to_string(connection.output_bytes()) + " bytes of replies dropped");
          it = Remove(it);
          continue;
        }
        writing.push_back(&*it);
        fds_.push_back({connection.write_fd(), POLLOUT, 0});
      }
      ++it;
    }
    if (writing.empty()) return;
    Clock::time_point wake_at = give_up;
    for (Client* client : writing) wake_at = std::min(wake_at, client->connection->waiting_since() + limits.drain_limit);
    if (::poll(fds_.data(), fds_.size(), Milliseconds(wake_at - now)) < 0 && errno != EINTR) return;
  }
}

Transport::Transport(std::unique_ptr<ServeLoop> loop) : loop_(std::move(loop)) {}

Transport::~Transport() = default;

WaitEnd Transport::WriteRepliesUntil(const StopSignal& stop, const StopSignal& wake, Clock::time_point deadline) {
  return loop_->WriteUntil(stop, wake, deadline);
}

void Transport::Drain() { loop_->Drain(); }

}  // namespace flutter::engine
