// The process-wide streams and signals of the host while it serves.
#include "runner/process_streams.h"

#include <cerrno>
#include <cstdio>
#include <iostream>

#include <unistd.h>

namespace runner {
namespace {

// The descriptor the signal handler wakes the serve loop through; -1 when no loop runs.
volatile sig_atomic_t g_stop_fd = -1;

void OnStopSignal(int) {
  const int fd = g_stop_fd;
  if (fd < 0) return;
  const int saved = errno;
  const char byte = 1;
  [[maybe_unused]] ssize_t ignored = ::write(fd, &byte, 1);
  errno = saved;
}

}  // namespace

StopSignalScope::StopSignalScope(const flutter::engine::StopSignal& stop) {
  g_stop_fd = stop.notify_fd();
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;  // other threads' blocking calls carry on; the serve loop wakes through the pipe
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, &old_term_);
  ::sigaction(SIGINT, &action, &old_int_);
  std::signal(SIGPIPE, SIG_IGN);
}

StopSignalScope::~StopSignalScope() {
  ::sigaction(SIGTERM, &old_term_, nullptr);
  ::sigaction(SIGINT, &old_int_, nullptr);
  g_stop_fd = -1;
}

StandardOutputAside::StandardOutputAside() {
  std::fflush(stdout);
  std::cout.flush();
  private_fd_ = ::dup(STDOUT_FILENO);
  if (private_fd_ >= 0) ::dup2(STDERR_FILENO, STDOUT_FILENO);
}

StandardOutputAside::~StandardOutputAside() {
  std::fflush(stdout);
  std::cout.flush();
  if (private_fd_ < 0) return;
  ::dup2(private_fd_, STDOUT_FILENO);
  ::close(private_fd_);
}

int StandardOutputAside::private_fd() const { return private_fd_ >= 0 ? private_fd_ : STDOUT_FILENO; }

}  // namespace runner
