// XdgShell: opening files with the desktop's opener.
#include "platform/xdg/xdg_shell.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

extern char** environ;

namespace platform {

XdgShell::XdgShell(std::string opener, std::chrono::milliseconds wait)
    : opener_(std::move(opener)), wait_(wait), reaper_([this] { Reap(); }) {}

XdgShell::~XdgShell() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  reaper_.join();
}

bool XdgShell::IsRegularFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_size > 0;
}

std::string XdgShell::FileUri(const std::string& absolute_path) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string uri = "file://";
  for (const char c : absolute_path) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte >= 'A' && byte <= 'Z') || (byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9') || byte == '-' ||
        byte == '.' || byte == '_' || byte == '~' || byte == '/') {
      uri += c;
    } else {
      uri += '%';
      uri += kHex[byte >> 4];
      uri += kHex[byte & 0xF];
    }
  }
  return uri;
}

base::Status XdgShell::Open(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return base::Status::Unsupported("no current folder to open " + path + " in");
    absolute = std::string(cwd) + "/" + path;
  }
  std::string uri = FileUri(absolute);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  // Standard output may be the channel's transport (serve --stdio): the opener never writes there.
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  // Nothing but the three standard streams: an opener that lingers must not hold the host's descriptors
  // (the reply stream above all, whose end tells the interface that the host has gone).
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
  std::string program = opener_;
  char* argv[] = {program.data(), uri.data(), nullptr};
  pid_t pid = -1;
  const int spawned = ::posix_spawnp(&pid, opener_.c_str(), &actions, nullptr, argv, environ);
  posix_spawn_file_actions_destroy(&actions);
  if (spawned != 0) return base::Status::NotFound(opener_ + " cannot be started");

  const auto deadline = std::chrono::steady_clock::now() + wait_;
  for (;;) {
    int status = 0;
    const pid_t done = ::waitpid(pid, &status, WNOHANG);
    if (done == pid) {
      if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return base::Status::Ok();
      return base::Status::Unsupported(opener_ + " refused " + uri);
    }
    if (done < 0 && errno != EINTR) return base::Status::Unsupported(opener_ + " was lost while it opened " + uri);
    if (std::chrono::steady_clock::now() >= deadline) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  {
    std::lock_guard lock(mutex_);
    running_.push_back(pid);
  }
  wake_.notify_all();
  return base::Status::Ok();
}

void XdgShell::Reap() {
  std::unique_lock lock(mutex_);
  while (!stopping_) {
    for (auto it = running_.begin(); it != running_.end();) {
      int status = 0;
      const pid_t done = ::waitpid(*it, &status, WNOHANG);
      it = (done == *it || (done < 0 && errno == ECHILD)) ? running_.erase(it) : it + 1;
    }
    if (running_.empty()) {
      wake_.wait(lock, [this] { return stopping_ || !running_.empty(); });
    } else {
      wake_.wait_for(lock, std::chrono::milliseconds(200));
    }
  }
}

}  // namespace platform
