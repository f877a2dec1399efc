// Tests of the built host as the interface runs it (`pictavera serve --stdio`), with stand-in helper
// programs beside it: a light call while a sheet job runs, the close that waits for it, a hung helper
// and two stop signals, the descriptors a started opener holds, and the files a killed host left.
#include <csignal>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "flutter/method_result_functions.h"
#include "flutter/standard_method_codec.h"
#include "tests/runner/host/frame_client.h"

#ifdef PICTAVERA_BINARY
namespace runner {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using flutter::engine::Reply;
using flutter::engine::testing::CallMessage;
using flutter::engine::testing::Client;
using flutter::engine::testing::RequestFrame;
namespace fs = std::filesystem;
using namespace std::chrono_literals;

// What a reply says, decoded: "success", or "CODE: message".
std::string Describe(const Reply& reply) {
  std::string text = "not implemented";
  flutter::MethodResultFunctions<EncodableValue> decoded(
      [&text](const EncodableValue* value) {
        text = value && std::holds_alternative<bool>(*value) ? (std::get<bool>(*value) ? "true" : "false") : "success";
      },
      [&text](const std::string& code, const std::string& message, const EncodableValue*) { text = code + ": " + message; },
      nullptr);
  if (!reply.envelope.empty()) {
    flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(reply.envelope.data(),
                                                                                  reply.envelope.size(), &decoded);
  }
  return text;
}

EncodableValue SheetArguments(const std::string& output) {
  auto i = [](int32_t v) { return EncodableValue(v); };
  return EncodableValue(EncodableMap{
      {EncodableValue("imagePaths"), EncodableValue(EncodableList{EncodableValue("/nonexistent/a.jpg")})},
      {EncodableValue("outputPaths"), EncodableValue(EncodableList{EncodableValue(output)})},
      {EncodableValue("rows"), i(1)}, {EncodableValue("columns"), i(1)},
      {EncodableValue("pageWidth"), i(100)}, {EncodableValue("pageHeight"), i(100)},
      {EncodableValue("marginLeft"), i(0)}, {EncodableValue("marginRight"), i(0)},
      {EncodableValue("marginTop"), i(0)}, {EncodableValue("marginBottom"), i(0)}});
}

bool Eventually(const std::function<bool()>& condition, std::chrono::seconds limit = 10s) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(10ms);
  }
  return true;
}

// A copy of the host in a folder of its own (the host finds its helper beside itself), with stand-ins
// for the helper and the desktop's opener, a private temporary folder and PDF folder.
class HostProcessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/host_process_test_XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    folder_ = pattern;
    const fs::path host = folder_ / "pictavera";
    std::error_code error;
    fs::create_hard_link(PICTAVERA_BINARY, host, error);
    if (error) fs::copy_file(PICTAVERA_BINARY, host);
    fs::create_directory(folder_ / "tmp");
    fs::permissions(folder_ / "tmp", fs::perms::owner_all);
    fs::create_directory(folder_ / "pdf");
  }
  void TearDown() override {
    if (pid_ > 0) {
      ::kill(pid_, SIGKILL);
      ::waitpid(pid_, nullptr, 0);
    }
    fs::remove_all(folder_);
  }

  void Script(const std::string& name, const std::string& body) {
    const fs::path path = folder_ / name;
    std::ofstream(path) << "#!/bin/sh\n" << body << "\n";
    fs::permissions(path, fs::perms::owner_all);
  }

  void Start() {
    int to_child[2], from_child[2];
    ASSERT_EQ(::pipe2(to_child, O_CLOEXEC), 0);
    ASSERT_EQ(::pipe2(from_child, O_CLOEXEC), 0);
    const std::string host = (folder_ / "pictavera").string();
    const std::string log = (folder_ / "host.log").string();
    const std::string path = folder_.string() + ":" + (std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin");
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(to_child[0], STDIN_FILENO);
      ::dup2(from_child[1], STDOUT_FILENO);
      const int log_fd = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      ::dup2(log_fd, STDERR_FILENO);
      ::setenv("PATH", path.c_str(), 1);
      ::setenv("PICTAVERA_TEMP_DIR", (folder_ / "tmp").c_str(), 1);
      ::setenv("PICTAVERA_PDF_DIR", (folder_ / "pdf").c_str(), 1);
      ::setenv("XDG_CONFIG_HOME", (folder_ / "config").c_str(), 1);
      ::setenv("CUPS_SERVER", (folder_ / "no-cups.sock").c_str(), 1);
      ::execl(host.c_str(), host.c_str(), "serve", "--stdio", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(to_child[0]);
    ::close(from_child[1]);
    client_ = std::make_unique<Client>(to_child[1], from_child[0]);
  }
  void Send(uint32_t id, const std::string& channel, const std::string& method, EncodableValue argument = EncodableValue()) {
    client_->Write(RequestFrame(id, channel, CallMessage(method, std::move(argument))));
  }
  // The exit code once the host has ended (-1 when it did not end within `limit` and was killed).
  int WaitForExit(std::chrono::seconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        pid_ = -1;
        return -1;
      }
      std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  std::string Log() {
    std::stringstream text;
    text << std::ifstream(folder_ / "host.log").rdbuf();
    return text.str();
  }

  fs::path folder_;
  pid_t pid_ = -1;
  std::unique_ptr<Client> client_;
};

TEST_F(HostProcessTest, ALightCallIsAnsweredWhileASheetJobRunsAndTheCloseWaitsForTheJob) {
  Script("mosalith", "sleep 1; echo OK");
  Start();
  Send(1, "printing_channel", "createGridImages", SheetArguments((folder_ / "sheet.jpg").string()));
  Send(2, "printing_channel", "getColorProfiles");
  auto first = client_->Read();
  ASSERT_TRUE(first);
  EXPECT_EQ(first->id, 2u);  // the sheet job does not hold up the platform thread
  client_->CloseWrite();     // end of input while the job runs: the host waits for it
  auto second = client_->Read();
  ASSERT_TRUE(second);
  EXPECT_EQ(second->id, 1u);
  EXPECT_EQ(Describe(*second), "true");
  EXPECT_EQ(WaitForExit(10s), 0);
  EXPECT_NE(Log().find("INFO: Closing: waiting for 1 sheet job\n"), std::string::npos) << Log();
}

TEST_F(HostProcessTest, AHungHelperAndTwoStopSignalsEndTheHostAndTheHelper) {
  // The helper ignores SIGTERM (so does the sleep it starts) and never ends on its own.
  const std::string pid_file = (folder_ / "helper.pid").string();
  Script("mosalith", "echo $$ > '" + pid_file + ".new'; mv '" + pid_file + ".new' '" + pid_file +
                         "'; trap '' TERM; while :; do sleep 1; done");
  Start();
  Send(1, "printing_channel", "createGridImages", SheetArguments((folder_ / "sheet.jpg").string()));
  ASSERT_TRUE(Eventually([&] { return fs::exists(pid_file); }));
  pid_t helper = 0;
  std::ifstream(pid_file) >> helper;
  ASSERT_GT(helper, 0);
  ::kill(pid_, SIGTERM);
  ASSERT_TRUE(Eventually([&] { return Log().find("INFO: Closing: waiting for 1 sheet job") != std::string::npos; }));
  ::kill(pid_, SIGTERM);
  auto reply = client_->Read();
  ASSERT_TRUE(reply);
  EXPECT_EQ(Describe(*reply), "GRID_ERROR: Sheet job stopped: the application is closing");
  EXPECT_EQ(WaitForExit(10s), 0) << Log();
  // The helper's whole process group is gone (SIGKILL after SIGTERM was ignored).
  EXPECT_TRUE(Eventually([&] { return ::kill(-helper, 0) != 0 && errno == ESRCH; }, 3s));
  const std::string log = Log();
  EXPECT_NE(log.find("INFO: Closing now (a second stop signal): ending 1 sheet job\n"), std::string::npos) << log;
  EXPECT_NE(log.find("helper programs still running after 2 s; killed"), std::string::npos) << log;
  EXPECT_EQ(log.find("using fallback"), std::string::npos) << log;  // no composer run for nobody
}

TEST_F(HostProcessTest, AStartedOpenerHoldsOnlyTheStandardStreams) {
  const std::string listing = (folder_ / "fds.txt").string();
  Script("xdg-open", "exec ls /proc/self/fd > '" + listing + "'");
  const std::string photo = (folder_ / "photo.jpg").string();
  std::ofstream(photo) << "x";
  Start();
  Send(1, "printing_channel", "printImagesWindows", EncodableValue(EncodableList{EncodableValue(photo)}));
  auto reply = client_->Read();
  ASSERT_TRUE(reply);
  EXPECT_EQ(Describe(*reply), "true") << Log();
  std::set<std::string> descriptors;
  std::ifstream lines(listing);
  for (std::string line; std::getline(lines, line);) descriptors.insert(line);
  // Standard input, output and error, and the folder ls reads through its lowest free descriptor: not
  // the reply stream the host keeps aside, nor anything else the host holds.
  EXPECT_EQ(descriptors, (std::set<std::string>{"0", "1", "2", "3"}));
  client_->CloseWrite();
  EXPECT_EQ(WaitForExit(10s), 0);
}

TEST_F(HostProcessTest, FilesLeftByAKilledHostAreRemovedAtStartAndALiveOnesAreKept) {
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string dead = std::to_string(ended), alive = std::to_string(::getpid());
  const fs::path job = folder_ / "tmp" / ("grid_config_" + dead + "_3.txt");
  const fs::path part = folder_ / "pdf" / (".pictavera-" + dead + "-1.tmp");
  const fs::path live_job = folder_ / "tmp" / ("grid_config_" + alive + "_1.txt");
  // The killed host's journal names the user's folder it was writing sheets into, its own and its
  // helper's half-written files there.
  const fs::path sheets = folder_ / "sheets";
  fs::create_directories(sheets);
  const fs::path journal = folder_ / "tmp" / ("folders_" + dead + ".txt");
  std::ofstream(journal) << sheets.string() << "\n" << (folder_ / "gone").string() << "\n";
  const fs::path sheet_part = sheets / (".pictavera-" + dead + "-7.tmp");
  const fs::path helper_part = sheets / (".mosalith-" + dead + "-2.tmp");
  const fs::path live_part = sheets / (".mosalith-" + alive + "-1.tmp");
  const fs::path sheet = sheets / "sheet_1.jpg";
  for (const fs::path& path : {job, part, live_job, sheet_part, helper_part, live_part, sheet}) std::ofstream(path) << "x";
  Start();
  client_->CloseWrite();
  EXPECT_EQ(WaitForExit(10s), 0);
  for (const fs::path& removed : {job, part, journal, sheet_part, helper_part}) {
    EXPECT_FALSE(fs::exists(removed)) << removed;
  }
  for (const fs::path& kept : {live_job, live_part, sheet}) EXPECT_TRUE(fs::exists(kept)) << kept;
  EXPECT_NE(Log().find("INFO: Removed " + job.string() + ", left by process " + dead), std::string::npos) << Log();
}

}  // namespace
}  // namespace runner
#endif
