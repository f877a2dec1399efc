// PosixProcessRunner with real programs: start failures, exit codes, signals, a flood of output, the
// child's standard input, signal state, process group and descriptors, and runs at once.
#include "platform/posix/posix_process_runner.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <gtest/gtest.h>

#include "tests/support/temp_folder.h"

namespace platform {
namespace {

namespace fs = std::filesystem;

class PosixProcessRunnerTest : public ::testing::Test {
 protected:
  // A shell script at `name` with `body`, executable unless told otherwise.
  std::string Script(const std::string& name, const std::string& body, bool executable = true) {
    const std::string path = (folder_ / name).string();
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    ::chmod(path.c_str(), executable ? 0700 : 0600);
    return path;
  }

  test_support::TempFolder temp_{"process_runner_test"};
  const fs::path folder_ = temp_.path();
  PosixProcessRunner runner_;
};

TEST_F(PosixProcessRunnerTest, ProgramsThatCannotStartReportWhy) {
  ProcessOutcome missing = runner_.Run((folder_ / "absent").string(), {});
  EXPECT_TRUE(missing.start.Is(base::Status::Code::kNotFound)) << missing.start.ToString();
  EXPECT_EQ(missing.start.system_error(), ENOENT);
  EXPECT_EQ(missing.exit_code, 1);

  ProcessOutcome not_executable = runner_.Run(Script("plain", "exit 0", false), {});
  EXPECT_TRUE(not_executable.start.Is(base::Status::Code::kAccessDenied));
  EXPECT_EQ(not_executable.start.system_error(), EACCES);
}

TEST_F(PosixProcessRunnerTest, ExitCodesArgumentsAndJoinedOutput) {
  const std::string script = Script("args", "echo \"out:$1\"; echo \"err:$2\" >&2; exit 3");
  ProcessOutcome outcome = runner_.Run(script, {"a b \"c\"", "$HOME;x"});
  EXPECT_TRUE(outcome.start.ok());
  EXPECT_FALSE(outcome.wait_failed);
  EXPECT_EQ(outcome.exit_code, 3);
  EXPECT_EQ(outcome.output, "out:a b \"c\"\nerr:$HOME;x\n");  // no shell re-reads the arguments
  EXPECT_EQ(runner_.Run(Script("ok", "exit 0"), {}).exit_code, 0);
}

TEST_F(PosixProcessRunnerTest, AChildEndedBySignalReports128PlusTheSignal) {
  EXPECT_EQ(runner_.Run(Script("segv", "kill -SEGV $$"), {}).exit_code, 128 + SIGSEGV);
  EXPECT_EQ(runner_.Run(Script("term", "echo before; kill -TERM $$"), {}).exit_code, 128 + SIGTERM);
}

TEST_F(PosixProcessRunnerTest, TwentyMegabytesOnBothStreamsArriveWhole) {
  // Far beyond the pipe's buffer: a runner that only read after the end would deadlock here.
  const std::string script = Script(
      "flood", "i=0; while [ $i -lt 8 ]; do head -c 1250000 /dev/zero | tr '\\0' o; "
               "head -c 1250000 /dev/zero | tr '\\0' e >&2; i=$((i+1)); done");
  ProcessOutcome outcome = runner_.Run(script, {});
  ASSERT_EQ(outcome.exit_code, 0);
  ASSERT_EQ(outcome.output.size(), 20'000'000u);
  EXPECT_EQ(std::count(outcome.output.begin(), outcome.output.end(), 'o'), 10'000'000);
  EXPECT_EQ(outcome.output.substr(0, 3), "ooo");
  EXPECT_EQ(outcome.output.substr(outcome.output.size() - 3), "eee");
}

TEST_F(PosixProcessRunnerTest, StandardInputIsTheNullDevice) {
  // cat would wait for ever on an inherited terminal or the host's frame input.
  ProcessOutcome outcome = runner_.Run("/bin/cat", {});
  EXPECT_EQ(outcome.exit_code, 0);
  EXPECT_EQ(outcome.output, "");
}

TEST_F(PosixProcessRunnerTest, ChildStartsWithDefaultSignalsEmptyMaskAndItsOwnGroup) {
  const sighandler_t previous = ::signal(SIGPIPE, SIG_IGN);
  sigset_t blocked;
  sigset_t previous_mask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  ::pthread_sigmask(SIG_BLOCK, &blocked, &previous_mask);
  ProcessOutcome status = runner_.Run("/bin/cat", {"/proc/self/status"});
  ProcessOutcome group = runner_.Run("/bin/sh", {"-c", "read -r pid name state ppid pgrp rest < /proc/$$/stat; echo \"$pid $pgrp\""});
  ::pthread_sigmask(SIG_SETMASK, &previous_mask, nullptr);
  ::signal(SIGPIPE, previous);

  EXPECT_NE(status.output.find("SigBlk:\t0000000000000000\n"), std::string::npos) << status.output;
  // Signals 1 to 31 only: the C library itself leaves its two internal real-time signals ignored.
  const size_t ignored_at = status.output.find("SigIgn:\t");
  ASSERT_NE(ignored_at, std::string::npos);
  const unsigned long long ignored = std::stoull(status.output.substr(ignored_at + 8, 16), nullptr, 16);
  EXPECT_EQ(ignored & 0x7fffffffull, 0u) << status.output;
  std::istringstream ids(group.output);
  long pid = 0;
  long pgrp = -1;
  ids >> pid >> pgrp;
  EXPECT_GT(pid, 0);
  EXPECT_EQ(pid, pgrp);
  EXPECT_NE(pgrp, ::getpgrp());
}

// Descriptors of this process that a child would inherit (those without close-on-exec).
std::set<std::string> InheritableDescriptors() {
  std::set<std::string> names;
  DIR* folder = ::opendir("/proc/self/fd");
  const int own = ::dirfd(folder);
  while (struct dirent* entry = ::readdir(folder)) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    const int fd = std::stoi(name);
    if (fd <= 2 || fd == own) continue;
    if ((::fcntl(fd, F_GETFD) & FD_CLOEXEC) == 0) names.insert(name);
  }
  ::closedir(folder);
  return names;
}

TEST_F(PosixProcessRunnerTest, ConcurrentRunsShareNoDescriptors) {
  // One run stays open (its pipe is live in this process) while another lists its child's descriptors.
  const std::string fifo = (folder_ / "gate").string();
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ProcessOutcome waiting;
  std::thread long_run([&] { waiting = runner_.Run("/bin/sh", {"-c", "read line < '" + fifo + "'; echo got $line"}); });

  // A descriptor this process holds without close-on-exec (as a library may open one) stays behind too.
  const int inheritable = ::open("/dev/null", O_RDONLY);
  ASSERT_GE(inheritable, 0);
  ASSERT_FALSE(InheritableDescriptors().empty());
  // The standard three, and the folder ls reads through its lowest free descriptor.
  const std::set<std::string> expected = {"0", "1", "2", "3"};
  ProcessOutcome listing = runner_.Run("/bin/ls", {"/proc/self/fd"});
  std::set<std::string> seen;
  std::istringstream lines(listing.output);
  for (std::string line; std::getline(lines, line);) seen.insert(line);
  EXPECT_EQ(seen, expected);

  ::close(inheritable);
  std::ofstream(fifo) << "go\n";
  long_run.join();
  EXPECT_EQ(waiting.output, "got go\n");
  EXPECT_EQ(waiting.exit_code, 0);
}

TEST_F(PosixProcessRunnerTest, AGrandchildHoldingThePipeDoesNotHoldUpTheRun) {
  // The child ends at once; its background grandchild keeps the joined pipe open for a minute.
  ProcessOutcome outcome = runner_.Run(Script("orphan", "echo parent; (sleep 60; echo late) & exit 4"), {});
  EXPECT_EQ(outcome.exit_code, 4);
  EXPECT_EQ(outcome.output, "parent\n");
}

}  // namespace
}  // namespace platform
