// Tests for the desktop opener adapter with a stand-in opener script that records its arguments.
#include "platform/xdg/xdg_shell.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "tests/support/temp_folder.h"

namespace platform {
namespace {

class XdgShellTest : public ::testing::Test {
 protected:
  // An opener that appends its arguments (one per line) to dir/args, then runs `then`.
  std::string Opener(const std::string& then) {
    const std::string path = dir_ + "/opener";
    std::ofstream(path) << "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\" >> '" << dir_ << "/args'; done\n"
                        << then << "\n";
    ::chmod(path.c_str(), 0755);
    return path;
  }
  std::string Args() {
    std::ifstream file(dir_ + "/args");
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
  }
  test_support::TempFolder temp_{"pictavera-shell"};
  const std::string dir_ = temp_.str();
};

TEST_F(XdgShellTest, HandsTheOpenerOneFileUriSoNoNameIsAnOption) {
  XdgShell shell(Opener("echo on-standard-output; exit 0"));
  EXPECT_TRUE(shell.Open("/photos/--help").ok());
  EXPECT_TRUE(shell.Open("/a b/#1 100%/é.jpg").ok());
  EXPECT_EQ(Args(), "file:///photos/--help\nfile:///a%20b/%231%20100%25/%C3%A9.jpg\n");
}

TEST_F(XdgShellTest, RefusalsAndSlowOpeners) {
  XdgShell refusing(Opener("exit 3"));
  EXPECT_EQ(refusing.Open("/x.jpg").code(), base::Status::Code::kUnsupported);
  XdgShell missing(dir_ + "/no-such-opener");
  EXPECT_EQ(missing.Open("/x.jpg").code(), base::Status::Code::kNotFound);
  XdgShell slow(Opener("exec sleep 2 2>/dev/null"), std::chrono::milliseconds(200));
  const auto start = std::chrono::steady_clock::now();
  EXPECT_TRUE(slow.Open("/x.jpg").ok());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(XdgShellTest, OnlyRegularFilesWithDataAreFilesToOpen) {
  XdgShell shell(Opener("exit 0"));
  const std::string photo = dir_ + "/photo.jpg";
  { std::ofstream(photo) << "jpeg"; }
  EXPECT_TRUE(shell.IsRegularFile(photo));
  ASSERT_EQ(::symlink(photo.c_str(), (dir_ + "/to-photo").c_str()), 0);
  EXPECT_TRUE(shell.IsRegularFile(dir_ + "/to-photo")) << "a link to a photo is followed";
  ASSERT_EQ(::mkfifo((dir_ + "/fifo").c_str(), 0600), 0);
  { std::ofstream(dir_ + "/empty.jpg"); }
  ASSERT_EQ(::symlink((dir_ + "/gone").c_str(), (dir_ + "/link").c_str()), 0);
  for (const std::string& not_a_photo : {dir_, dir_ + "/fifo", dir_ + "/empty.jpg", dir_ + "/link",
                                         std::string("/proc/self/status"), std::string("/dev/null"), std::string()}) {
    EXPECT_FALSE(shell.IsRegularFile(not_a_photo)) << not_a_photo;
  }
}

}  // namespace
}  // namespace platform
