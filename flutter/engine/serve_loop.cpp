// ServeLoop: polling, reading, writing and accepting on POSIX descriptors; the rules are the Connection's.
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

// EPIPE and ECONNRESET: the client went away, which is no failure of the host.
bool Gone(int error) { return error == EPIPE || error == ECONNRESET; }

int DefaultAccept(int listen_fd) { return ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK); }

int Milliseconds(Clock::duration d) {
  const auto ms = std::chrono::ceil<std::chrono::milliseconds>(d).count();
  return static_cast<int>(std::clamp<decltype(ms)>(ms, 0, 60'000));
}

}  // namespace

bool WriteAll(int fd, const uint8_t* data, size_t size, bool is_socket) {
  while (size > 0) {
    const ssize_t written = is_socket ? ::send(fd, data, size, MSG_NOSIGNAL) : ::write(fd, data, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += written;
    size -= static_cast<size_t>(written);
  }
  return true;
}

ServeLoop::ServeLoop(TransportLimits limits, int listen_fd, AcceptFunction accept)
    : shared_(std::make_shared<TransportShared>(limits)),
      listen_fd_(listen_fd),
      accept_(accept ? std::move(accept) : AcceptFunction(DefaultAccept)),
      chunk_(kReadChunkBytes) {}

ServeLoop::~ServeLoop() {
  for (auto it = clients_.begin(); it != clients_.end();) it = Remove(it);
}

void ServeLoop::AddClient(std::string name, int read_fd, int write_fd, bool is_socket, bool owns_fds) {
  Client client;
  client.connection = std::make_shared<Connection>(std::move(name), shared_);
  client.read_fd = read_fd;
  client.write_fd = write_fd;
  client.is_socket = is_socket;
  client.owns_fds = owns_fds;
  clients_.push_back(std::move(client));
  client_count_.store(clients_.size());
}

ServeLoop::Read ServeLoop::ReadAvailable(EngineMessenger& messenger, Client& client) {
  Connection& connection = *client.connection;
  ssize_t got;
  do {
    got = ::read(client.read_fd, chunk_.data(), chunk_.size());
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK) return Read::kMore;
    connection.ReadFailed(Errno(errno));
    return Read::kFailed;
  }
  if (got == 0) {
    return connection.InputEnded() ? Read::kEnded : Read::kFailed;
  }
  connection.Receive(messenger, chunk_.data(), static_cast<size_t>(got));
  return Read::kMore;
}

bool ServeLoop::Flush(Client& client, Clock::time_point now) {
  Connection& connection = *client.connection;
  for (;;) {
    const Connection::Bytes out = connection.Output(now);
    if (out.size == 0) return true;
    const ssize_t sent = client.is_socket ? ::send(client.write_fd, out.data, out.size, MSG_NOSIGNAL | MSG_DONTWAIT)
                                          : ::write(client.write_fd, out.data, out.size);
    if (sent < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) return true;
      connection.WriteFailed(Gone(errno), Errno(errno));
      return false;
    }
    connection.Wrote(static_cast<size_t>(sent), now);
  }
}

ServeLoop::ClientIt ServeLoop::Remove(ClientIt it) {
  it->connection->Close();
  if (it->owns_fds) {
    // Only the loop's thread touches the descriptors, so closing here cannot race a write; the number
    // goes back to the system at once (a full descriptor table is one of the things a host meets).
    ::close(it->read_fd);
    if (it->write_fd != it->read_fd) ::close(it->write_fd);
  }
  it = clients_.erase(it);
  client_count_.store(clients_.size());
  return it;
}

std::optional<Connection::Drop> ServeLoop::Service(Client& client, bool writable, Clock::time_point now) {
  Connection& connection = *client.connection;
  if (writable || (connection.has_output() && !connection.writing())) Flush(client, now);
  return connection.Check(now);
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
  const ReadGate* gate = shared_->limits.read_gate;
  if (gate != nullptr) gate->released().Clear();  // looked at below, in ReadPaused
  fds_.push_back({gate != nullptr && gate->held() ? gate->released().fd() : -1, POLLIN, 0});
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

// Puts a client's descriptors into this round's poll set: its read side while its connection lets it be
// read, its write side while bytes wait for it. Returns when it will next be stuck.
ServeLoop::Clock::time_point ServeLoop::AddToRound(Client& client, bool read) {
  const Connection& connection = *client.connection;
  const bool reading = read && !client.input_ended && !connection.ReadPaused();
  const bool writing = connection.writing();
  client.read_slot = kNoSlot;
  if (client.write_fd == client.read_fd) {
    // A socket takes one slot for both directions: poll refuses more slots than the descriptor limit,
    // which is exactly when many clients are connected.
    client.read_slot = client.write_slot = fds_.size();
    const short events = static_cast<short>((reading ? POLLIN : 0) | (writing ? POLLOUT : 0));
    fds_.push_back({events != 0 ? client.read_fd : -1, events, 0});
  } else {
    if (read) {
      client.read_slot = fds_.size();
      fds_.push_back({reading ? client.read_fd : -1, POLLIN, 0});
    }
    client.write_slot = fds_.size();
    fds_.push_back({writing ? client.write_fd : -1, POLLOUT, 0});
  }
  return connection.StuckAt();
}

ServeEnd ServeLoop::Run(EngineMessenger& messenger, const StopSignal& stop, bool single) {
  for (;;) {
    Clock::time_point now = Clock::now();
    StartRound(stop);
    const bool accepting = listen_fd_ >= 0 && now >= accept_paused_until_;
    const size_t listen_slot = fds_.size();
    fds_.push_back({accepting ? listen_fd_ : -1, POLLIN, 0});
    Clock::time_point wake_at = Clock::time_point::max();
    if (listen_fd_ >= 0 && !accepting) wake_at = accept_paused_until_;
    for (Client& client : clients_) wake_at = std::min(wake_at, AddToRound(client, true));
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
      const pollfd& read_slot = fds_[client.read_slot];
      const short write_events = fds_[client.write_slot].revents;
      if (read_slot.fd >= 0 && (read_slot.events & POLLIN) && (read_slot.revents & (POLLIN | POLLHUP | POLLERR))) {
        const Read read = ReadAvailable(messenger, client);
        if (read != Read::kMore) client.input_ended = true;
        if (single && read != Read::kMore) return read == Read::kEnded ? ServeEnd::kEndOfInput : ServeEnd::kFailed;
      }
      const bool writable = client.connection->writing() && (write_events & (POLLOUT | POLLHUP | POLLERR));
      const std::optional<Connection::Drop> drop = Service(client, writable, now);
      if (drop && single) {
        Remove(it);  // nothing more can be written to it, at close either
        return *drop == Connection::Drop::kFailed ? ServeEnd::kFailed : ServeEnd::kEndOfInput;
      }
      // A client that said all it had to say and has every answer leaves.
      const bool done = client.input_ended && !client.connection->has_output() &&
                        client.connection->requests_in_flight() == 0;
      it = drop || done ? Remove(it) : std::next(it);
    }

    if (fds_[listen_slot].revents & (POLLERR | POLLNVAL)) {
      LogLine("ERROR: listening socket failed");
      return ServeEnd::kFailed;
    }
    if (fds_[listen_slot].revents & POLLIN) AcceptClients(now);
  }
}

WaitEnd ServeLoop::WriteUntil(const StopSignal& stop, const StopSignal& wake, Clock::time_point deadline) {
  for (;;) {
    Clock::time_point now = Clock::now();
    if (now >= deadline) return WaitEnd::kDeadline;
    StartRound(stop);
    const size_t wake_slot = fds_.size();
    fds_.push_back({wake.fd(), POLLIN, 0});
    Clock::time_point wake_at = deadline;
    for (Client& client : clients_) wake_at = std::min(wake_at, AddToRound(client, false));
    const Round round = PollRound(Milliseconds(wake_at - now));
    if (round == Round::kInterrupted) continue;
    if (round != Round::kReady) return round == Round::kStopped ? WaitEnd::kStopped : WaitEnd::kDeadline;
    now = Clock::now();
    for (auto it = clients_.begin(); it != clients_.end();) {
      const short events = fds_[it->write_slot].revents;
      const bool writable = it->connection->writing() && (events & (POLLOUT | POLLHUP | POLLERR));
      it = Service(*it, writable, now) ? Remove(it) : std::next(it);
    }
    if (fds_[wake_slot].revents) return WaitEnd::kWoken;
  }
}

void ServeLoop::Drain() {
  const Clock::time_point give_up = Clock::now() + 5 * shared_->limits.drain_limit;
  for (;;) {
    const Clock::time_point now = Clock::now();
    fds_.clear();
    Clock::time_point wake_at = give_up;
    for (auto it = clients_.begin(); it != clients_.end();) {
      Connection& connection = *it->connection;
      if (connection.has_output()) Flush(*it, now);
      if (connection.CheckAtClose(now, give_up)) {
        it = Remove(it);
        continue;
      }
      if (connection.writing()) {
        fds_.push_back({it->write_fd, POLLOUT, 0});
        wake_at = std::min(wake_at, connection.DrainAt(give_up));
      }
      ++it;
    }
    if (fds_.empty()) return;
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
