// The process-wide streams and signals of the host while it serves.
#include "runner/host/process_streams.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <iostream>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <charconv>
#include <string_view>

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

struct StopSignalScope::Saved {
  struct sigaction term {};
  struct sigaction interrupt {};
};

StopSignalScope::StopSignalScope(const flutter::engine::StopSignal& stop) : saved_(std::make_unique<Saved>()) {
  g_stop_fd = stop.notify_fd();
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  action.sa_flags = SA_RESTART;  // other threads' blocking calls carry on; the serve loop wakes through the pipe
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGTERM, &action, &saved_->term);
  ::sigaction(SIGINT, &action, &saved_->interrupt);
  std::signal(SIGPIPE, SIG_IGN);
}

StopSignalScope::~StopSignalScope() {
  ::sigaction(SIGTERM, &saved_->term, nullptr);
  ::sigaction(SIGINT, &saved_->interrupt, nullptr);
  g_stop_fd = -1;
}

void MarkDescriptorsCloseOnExec() {
  if (::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC) == 0) return;
  // Kernels before 5.11: each open descriptor of /proc/self/fd in turn.
  DIR* folder = ::opendir("/proc/self/fd");
  if (folder == nullptr) return;
  const int own = ::dirfd(folder);
  while (const dirent* entry = ::readdir(folder)) {
    int fd = -1;
    const std::string_view name(entry->d_name);
    if (std::from_chars(name.data(), name.data() + name.size(), fd).ec != std::errc() || fd < 3 || fd == own) continue;
    const int flags = ::fcntl(fd, F_GETFD);
    if (flags >= 0 && !(flags & FD_CLOEXEC)) ::fcntl(fd, F_SETFD, flags | FD_CLOEXEC);
  }
  ::closedir(folder);
}

StandardOutputAside::StandardOutputAside() {
  std::fflush(stdout);
  std::cout.flush();
  // Close-on-exec: a program the host starts must never hold the reply stream (the interface would not
  // see the host end while that program lives).
  private_fd_ = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
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
