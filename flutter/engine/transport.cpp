// The stream and socket transports.
#include "flutter/engine/transport.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <list>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "flutter/engine/connection.h"
#include "flutter/engine/frame.h"

namespace flutter::engine {
namespace {

constexpr size_t kReadChunkBytes = 64 * 1024;
// A client that stops reading its replies must not hold the platform thread for ever: its writes give up
// after this long and the connection is dropped.
constexpr int kSocketSendTimeoutSeconds = 10;

// The reading half of one connection.
struct ConnectionReader {
  std::shared_ptr<Connection> connection;
  FrameReader frames;
};

void DeliverBody(EngineMessenger& messenger, const std::shared_ptr<Connection>& connection,
                 const std::vector<uint8_t>& body) {
  std::string error;
  auto request = ParseRequest(body.data(), body.size(), &error);
  if (!request) {
    std::fprintf(stderr, "ERROR: malformed frame from %s skipped: %s\n", connection->name().c_str(), error.c_str());
    return;
  }
  const uint32_t id = request->id;
  ReplyTarget target;
  target.send = [connection, id](const uint8_t* envelope, size_t size) {
    connection->WriteFrame(EncodeReply(id, envelope, size));
  };
  messenger.DeliverMessage(std::move(request->channel), std::move(request->message), std::move(target));
}

// Reads what is available on the connection and delivers every complete request. Returns false when the
// connection's input has ended (end of input, read error or a hostile length).
bool ReadAvailable(EngineMessenger& messenger, ConnectionReader& reader) {
  uint8_t chunk[kReadChunkBytes];
  ssize_t got;
  do {
    got = ::read(reader.connection->read_fd(), chunk, sizeof chunk);
  } while (got < 0 && errno == EINTR);
  if (got < 0) {
    std::fprintf(stderr, "ERROR: cannot read from %s: %s\n", reader.connection->name().c_str(), std::strerror(errno));
    return false;
  }
  if (got == 0) {
    if (reader.frames.pending_bytes() > 0) {
      std::fprintf(stderr, "ERROR: frame from %s cut short by the end of input (%zu bytes dropped)\n",
                   reader.connection->name().c_str(), reader.frames.pending_bytes());
    }
    return false;
  }
  reader.frames.Feed(chunk, static_cast<size_t>(got));
  std::vector<uint8_t> body;
  while (reader.frames.Next(&body)) DeliverBody(messenger, reader.connection, body);
  if (reader.frames.failed()) {
    std::fprintf(stderr, "ERROR: frame length from %s above the limit of %u bytes; connection ended\n",
                 reader.connection->name().c_str(), kMaxFrameBytes);
    return false;
  }
  return true;
}

// A socket file left behind by a host that did not close (killed, crashed) refuses connections; it is
// removed so the new host can bind. Anything else at the path (a live host, a regular file) is left alone.
void RemoveStaleSocket(const sockaddr_un& address) {
  struct stat info {};
  if (::lstat(address.sun_path, &info) != 0 || !S_ISSOCK(info.st_mode)) return;
  const int probe = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (probe < 0) return;
  const bool refused =
      ::connect(probe, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 && errno == ECONNREFUSED;
  ::close(probe);
  if (refused && ::unlink(address.sun_path) == 0) {
    std::fprintf(stderr, "INFO: removed stale socket %s\n", address.sun_path);
  }
}

}  // namespace

StopSignal::StopSignal() {
  if (::pipe2(fds_, O_CLOEXEC | O_NONBLOCK) != 0) {
    std::fprintf(stderr, "FATAL: cannot create the stop pipe: %s\n", std::strerror(errno));
    std::abort();
  }
}

StopSignal::~StopSignal() {
  ::close(fds_[0]);
  ::close(fds_[1]);
}

void StopSignal::Notify() const {
  const char byte = 1;
  const int saved = errno;
  // A full pipe already wakes the loop, so a failed write loses nothing.
  [[maybe_unused]] ssize_t ignored = ::write(fds_[1], &byte, 1);
  errno = saved;
}

ServeEnd ServeStream(EngineMessenger& messenger, int in_fd, int out_fd, const StopSignal& stop) {
  ConnectionReader reader{std::make_shared<Connection>("standard input", in_fd, out_fd, false, false), {}};
  for (;;) {
    pollfd fds[2] = {{in_fd, POLLIN, 0}, {stop.fd(), POLLIN, 0}};
    if (::poll(fds, 2, -1) < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "ERROR: poll failed: %s\n", std::strerror(errno));
      return ServeEnd::kFailed;
    }
    if (fds[1].revents) return ServeEnd::kStopped;
    if (fds[0].revents && !ReadAvailable(messenger, reader)) return ServeEnd::kEndOfInput;
  }
}

std::unique_ptr<SocketServer> SocketServer::Listen(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    std::fprintf(stderr, "ERROR: socket path must be 1 to %zu bytes: %s\n", sizeof address.sun_path - 1, path.c_str());
    return nullptr;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    std::fprintf(stderr, "ERROR: cannot create a socket: %s\n", std::strerror(errno));
    return nullptr;
  }
  RemoveStaleSocket(address);
  // The socket file takes its mode from the umask at bind time: only the owner may ever connect.
  const mode_t old_mask = ::umask(0177);
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int bind_errno = errno;
  ::umask(old_mask);
  if (bound != 0) {
    std::fprintf(stderr, "ERROR: cannot bind socket %s: %s\n", path.c_str(), std::strerror(bind_errno));
    ::close(fd);
    return nullptr;
  }
  if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, SOMAXCONN) != 0) {
    std::fprintf(stderr, "ERROR: cannot listen on socket %s: %s\n", path.c_str(), std::strerror(errno));
    ::unlink(path.c_str());
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<SocketServer>(new SocketServer(path, fd));
}

SocketServer::~SocketServer() {
  ::close(fd_);
  ::unlink(path_.c_str());
}

ServeEnd SocketServer::Serve(EngineMessenger& messenger, const StopSignal& stop) {
  std::list<ConnectionReader> clients;
  unsigned next_client = 1;
  std::vector<pollfd> fds;
  for (;;) {
    fds.clear();
    fds.push_back({stop.fd(), POLLIN, 0});
    fds.push_back({fd_, POLLIN, 0});
    for (auto& client : clients) fds.push_back({client.connection->read_fd(), POLLIN, 0});
    if (::poll(fds.data(), fds.size(), -1) < 0) {
      if (errno == EINTR) continue;
      std::fprintf(stderr, "ERROR: poll failed: %s\n", std::strerror(errno));
      return ServeEnd::kFailed;
    }
    if (fds[0].revents) return ServeEnd::kStopped;
    // Clients first: the list still matches fds from index 2.
    size_t index = 2;
    for (auto it = clients.begin(); it != clients.end(); ++index) {
      if (fds[index].revents && !ReadAvailable(messenger, *it)) {
        // Stop reading; the descriptor closes when the last pending reply lets go of the connection.
        ::shutdown(it->connection->read_fd(), SHUT_RD);
        it = clients.erase(it);
      } else {
        ++it;
      }
    }
    if (fds[1].revents & (POLLERR | POLLNVAL)) {
      std::fputs("ERROR: listening socket failed\n", stderr);
      return ServeEnd::kFailed;
    }
    if (fds[1].revents & POLLIN) {
      const int client_fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
      if (client_fd < 0) {
        if (errno != EINTR && errno != EAGAIN && errno != ECONNABORTED) {
          std::fprintf(stderr, "ERROR: accept failed: %s\n", std::strerror(errno));
        }
        continue;
      }
      const timeval timeout{kSocketSendTimeoutSeconds, 0};
      ::setsockopt(client_fd, SOL_SOCKET, SO_SNDTIMEO, &timeout, sizeof timeout);
      clients.push_back({std::make_shared<Connection>("client " + std::to_string(next_client++), client_fd,
                                                      client_fd, true, true),
                         {}});
    }
  }
}

}  // namespace flutter::engine
