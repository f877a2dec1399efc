// SocketServer: binding and listening on a unix socket path, replacing a stale one.
#include "flutter/engine/socket_server.h"

#include <cerrno>
#include <cstring>
#include <utility>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "flutter/log.h"

namespace flutter::engine {
namespace {

std::string Errno(int error) { return std::strerror(error); }

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
    LogLine(std::string("INFO: removed stale socket ") + address.sun_path);
  }
}

}  // namespace

std::unique_ptr<SocketServer> SocketServer::Listen(const std::string& path, TransportLimits limits,
                                                   AcceptFunction accept) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    LogLine("ERROR: socket path must be 1 to " + std::to_string(sizeof address.sun_path - 1) + " bytes: " + path);
    return nullptr;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    LogLine("ERROR: cannot create a socket: " + Errno(errno));
    return nullptr;
  }
  RemoveStaleSocket(address);
  // The socket file takes its mode from the umask at bind time: only the owner may ever connect.
  const mode_t old_mask = ::umask(0177);
  const int bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  const int bind_errno = errno;
  ::umask(old_mask);
  if (bound != 0) {
    LogLine("ERROR: cannot bind socket " + path + ": " + Errno(bind_errno));
    ::close(fd);
    return nullptr;
  }
  if (::chmod(path.c_str(), 0600) != 0 || ::listen(fd, SOMAXCONN) != 0) {
    LogLine("ERROR: cannot listen on socket " + path + ": " + Errno(errno));
    ::unlink(path.c_str());
    ::close(fd);
    return nullptr;
  }
  return std::unique_ptr<SocketServer>(new SocketServer(path, fd, limits, std::move(accept)));
}

SocketServer::SocketServer(std::string path, int fd, TransportLimits limits, AcceptFunction accept)
    : Transport(std::make_unique<ServeLoop>(limits, fd, std::move(accept))), path_(std::move(path)), fd_(fd) {}

SocketServer::~SocketServer() {
  loop_.reset();
  ::close(fd_);
  ::unlink(path_.c_str());
}

ServeEnd SocketServer::Serve(EngineMessenger& messenger, const StopSignal& stop) {
  return loop_->Run(messenger, stop, false);
}

size_t SocketServer::client_count() const { return loop_->client_count(); }

}  // namespace flutter::engine
