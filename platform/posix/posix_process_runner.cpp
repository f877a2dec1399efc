// PosixProcessRunner: posix_spawn with file actions for the joined pipe and /dev/null, poll to drain.
#include "platform/posix/posix_process_runner.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "imaging/output/file_status.h"

extern char** environ;

namespace platform {
namespace {

constexpr int kDrainIntervalMs = 100;
constexpr size_t kReadChunk = 4095;

// Reads what the non-blocking `fd` holds now into `output`. False at end of file (every writer closed)
// or on a read error; true when the pipe is merely empty for now.
bool ReadAvailable(int fd, std::string& output) {
  char chunk[kReadChunk];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got > 0) {
      output.append(chunk, static_cast<size_t>(got));
      continue;
    }
    if (got == 0) return false;
    if (errno == EINTR) continue;
    return errno == EAGAIN || errno == EWOULDBLOCK;
  }
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return 1;
}

// Owns the spawn attributes and file actions for one start.
class SpawnSetup {
 public:
  SpawnSetup() {
    ok_ = ::posix_spawn_file_actions_init(&actions_) == 0;
    attributes_ok_ = ::posix_spawnattr_init(&attributes_) == 0;
  }
  ~SpawnSetup() {
    if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
    if (attributes_ok_) ::posix_spawnattr_destroy(&attributes_);
  }
  SpawnSetup(const SpawnSetup&) = delete;
  SpawnSetup& operator=(const SpawnSetup&) = delete;

  // 0 or an errno value.
  int Prepare(int pipe_write_end) {
    if (!ok_ || !attributes_ok_) return ENOMEM;
    sigset_t empty;
    sigset_t all;
    sigemptyset(&empty);
    sigfillset(&all);
    int error = ::posix_spawn_file_actions_addopen(&actions_, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions_, pipe_write_end, STDOUT_FILENO);
    if (error == 0) error = ::posix_spawn_file_actions_adddup2(&actions_, pipe_write_end, STDERR_FILENO);
    // Whatever a library opened without close-on-exec stays behind too.
    if (error == 0) error = ::posix_spawn_file_actions_addclosefrom_np(&actions_, STDERR_FILENO + 1);
    if (error == 0) error = ::posix_spawnattr_setsigmask(&attributes_, &empty);
    if (error == 0) error = ::posix_spawnattr_setsigdefault(&attributes_, &all);
    if (error == 0) error = ::posix_spawnattr_setpgroup(&attributes_, 0);
    if (error == 0) {
      error = ::posix_spawnattr_setflags(
          &attributes_, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETPGROUP);
    }
    return error;
  }
  const posix_spawn_file_actions_t* actions() const { return &actions_; }
  const posix_spawnattr_t* attributes() const { return &attributes_; }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  bool ok_ = false;
  bool attributes_ok_ = false;
};

// Starts `program` with `arguments`, its output joined into `write_end`: 0 with `*child` set, or an errno
// value.
int Spawn(const std::string& program, const std::vector<std::string>& arguments, int write_end, pid_t* child) {
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 2);
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  SpawnSetup setup;
  const int error = setup.Prepare(write_end);
  if (error != 0) return error;
  return ::posix_spawn(child, program.c_str(), setup.actions(), setup.attributes(), argv.data(), environ);
}

}  // namespace

ProcessOutcome PosixProcessRunner::Run(const std::string& program, const std::vector<std::string>& arguments) {
  ProcessOutcome outcome;
  // Both ends close on exec: the child gets the write end only through the dup2 onto 1 and 2, and
  // children of concurrent jobs never hold each other's pipes (which would delay their end of file).
  int pipe_ends[2];
  if (::pipe2(pipe_ends, O_CLOEXEC) != 0) {
    outcome.start = imaging::FileStatus(errno, program);
    return outcome;
  }
  const int read_end = pipe_ends[0];
  const int write_end = pipe_ends[1];
  pid_t child = -1;
  const int error = Spawn(program, arguments, write_end, &child);
  ::close(write_end);
  if (error != 0) {
    ::close(read_end);
    outcome.start = imaging::FileStatus(error, program);
    return outcome;
  }
  outcome.start = base::Status::Ok();
  {
    std::lock_guard lock(mutex_);
    children_.insert(child);
  }
  ::fcntl(read_end, F_SETFL, ::fcntl(read_end, F_GETFL) | O_NONBLOCK);
  DrainUntilEnded(read_end, child, outcome);
  ::close(read_end);
  return outcome;
}

void PosixProcessRunner::Forget(pid_t child) {
  std::lock_guard lock(mutex_);
  children_.erase(child);
}

void PosixProcessRunner::DrainUntilEnded(int read_end, pid_t child, ProcessOutcome& outcome) {
  bool pipe_open = true;
  for (;;) {
    if (pipe_open) {
      struct pollfd wait_for{read_end, POLLIN, 0};
      const int ready = ::poll(&wait_for, 1, kDrainIntervalMs);
      if (ready > 0) {
        const size_t before = outcome.output.size();
        pipe_open = ReadAvailable(read_end, outcome.output);
        output_bytes_ += outcome.output.size() - before;
      }
    }
    // With the pipe at its end, the child has closed its output (usually by ending): wait without polling.
    // The child is looked at without being reaped, so it leaves the set of signalled children first.
    siginfo_t ended {};
    const int looked = ::waitid(P_PID, static_cast<id_t>(child), &ended, WEXITED | WNOWAIT | (pipe_open ? WNOHANG : 0));
    pid_t waited = looked == 0 && ended.si_pid == child ? child : (looked == 0 ? 0 : -1);
    int status = 0;
    if (waited == child) {
      Forget(child);
      waited = ::waitpid(child, &status, 0);
    }
    if (waited == child) {
      // Whatever the child wrote before it ended is in the pipe now; a grandchild that still holds the
      // pipe open must not hold up the job, so the drain stops once the pipe is empty.
      if (pipe_open) ReadAvailable(read_end, outcome.output);
      outcome.exit_code = ExitCodeOf(status);
      return;
    }
    if (waited < 0 && errno != EINTR) {
      // ECHILD: someone else reaped the child. It is gone; its pid may already belong to another process.
      Forget(child);
      outcome.wait_failed = true;
      outcome.exit_code = 1;
      if (pipe_open) ReadAvailable(read_end, outcome.output);
      return;
    }
  }
}

void PosixProcessRunner::SignalAll(int signal) const {
  std::lock_guard lock(mutex_);
  for (const pid_t child : children_) ::kill(-child, signal);
}

void PosixProcessRunner::TerminateAll() { SignalAll(SIGTERM); }

void PosixProcessRunner::KillAll() { SignalAll(SIGKILL); }

size_t PosixProcessRunner::running() const {
  std::lock_guard lock(mutex_);
  return children_.size();
}

bool PosixProcessRunner::ProcessExists(int pid) const {
  // EPERM: it exists, as another user's process.
  return pid > 0 && (::kill(pid, 0) == 0 || errno == EPERM);
}

}  // namespace platform
