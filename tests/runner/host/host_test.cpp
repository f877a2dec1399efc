// Tests of the host: the main window's start-up and message hand-off, `pictavera call`, and the program's
// exit codes.
#include "runner/host/host.h"

#include <algorithm>
#include <atomic>
#include <csignal>
#include <filesystem>
#include <future>
#include <sstream>
#include <thread>

#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "flutter/standard_method_codec.h"
#include "runner/host/flutter_window.h"
#include "tests/runner/test_services.h"

namespace runner {
namespace {

const char* const kChannels[] = {"printing_channel", "thumbnail_channel", "media_info_channel", "face_rects_channel"};

TEST(FlutterWindowTest, CreateServesTheFourChannels) {
  runner::testing::TestServices services;
  auto window = std::make_shared<FlutterWindow>(services.services);
  ASSERT_TRUE(window->Create());
  ASSERT_NE(window->engine(), nullptr);
  // A message that is no method call reaches each channel's handler, which says so and answers empty.
  ::testing::internal::CaptureStderr();
  for (const char* channel : kChannels) {
    std::promise<std::vector<uint8_t>> reply;
    flutter::engine::ReplyTarget target;
    target.send = [&reply](const uint8_t* data, size_t size) { reply.set_value({data, data + size}); };
    ASSERT_TRUE(window->engine()->messenger()->DeliverMessage(channel, {0xFF}, std::move(target)));
    EXPECT_TRUE(reply.get_future().get().empty()) << channel;
  }
  const std::string log = ::testing::internal::GetCapturedStderr();
  for (const char* channel : kChannels) {
    EXPECT_NE(log.find(std::string("Unable to construct method call from message on channel ") + channel),
              std::string::npos)
        << channel << "\n" << log;
  }
  window->Destroy();
  EXPECT_EQ(window->engine(), nullptr);
}

struct CallOutput {
  int code;
  std::string out;
  std::string err;
};

CallOutput Call(const std::string& channel, const std::string& method, std::optional<std::string> json) {
  std::ostringstream out, err;
  runner::testing::TestServices services;
  const int code = RunCall(services.services, channel, method, json, out, err);
  return {code, out.str(), err.str()};
}

TEST(RunCallTest, PrintsOneJsonDocumentPerAnswerKind) {
  auto unknown_method = Call("printing_channel", "getprinterswindows", R"({"a": [1, 2.5]})");
  EXPECT_EQ(unknown_method.code, kExitOk);
  EXPECT_EQ(unknown_method.out, "{\"notImplemented\":true}\n");
  auto unknown_channel = Call("nobody_channel", "x", std::nullopt);
  EXPECT_EQ(unknown_channel.code, kExitOk);
  EXPECT_EQ(unknown_channel.out, "{\"notImplemented\":true}\n");
}

TEST(RunCallTest, InvalidJsonIsAUsageErrorAndStartsNothing) {
  auto bad = Call("printing_channel", "getPrintersWindows", "{\"a\":");
  EXPECT_EQ(bad.code, kExitUsage);
  EXPECT_TRUE(bad.out.empty());
  EXPECT_NE(bad.err.find("invalid JSON"), std::string::npos);
  EXPECT_EQ(Call("printing_channel", "x", "").code, kExitUsage);
  EXPECT_EQ(Call("printing_channel", "x", R"({"$bytes": "!"})").code, kExitUsage);
}

#ifdef PICTAVERA_BINARY
int RunProgram(const std::vector<std::string>& arguments, std::string* output = nullptr) {
  std::string command = PICTAVERA_BINARY;
  for (const auto& argument : arguments) command += " '" + argument + "'";
  command += " 2>/dev/null";
  FILE* pipe = ::popen(command.c_str(), "r");
  std::string text;
  char buffer[256];
  while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
  const int status = ::pclose(pipe);
  if (output) *output = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ProgramTest, WrongArgumentsPrintUsageAndExitTwo) {
  EXPECT_EQ(RunProgram({}), 2);
  EXPECT_EQ(RunProgram({"serve"}), 2);
  EXPECT_EQ(RunProgram({"serve", "--socket"}), 2);
  EXPECT_EQ(RunProgram({"call", "printing_channel"}), 2);
  EXPECT_EQ(RunProgram({"launch"}), 2);
  EXPECT_EQ(RunProgram({"call", "printing_channel", "x", "[1,"}), 2);
}

TEST(ProgramTest, CallRefusesNumbersBeyondRangeAndTooDeepNestingWithExitTwoAndOneLine) {
  const std::string deep = std::string(20000, '[') + std::string(20000, ']');
  for (const std::string& json : {std::string("1e400"), std::string("[123456789012345678901234567890]"), deep}) {
    std::string command = std::string(PICTAVERA_BINARY) + " call printing_channel x '" + json + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string text;
    char buffer[256];
    while (size_t got = std::fread(buffer, 1, sizeof buffer, pipe)) text.append(buffer, got);
    const int status = ::pclose(pipe);
    ASSERT_TRUE(WIFEXITED(status)) << json.substr(0, 40);
    EXPECT_EQ(WEXITSTATUS(status), 2) << json.substr(0, 40);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_EQ(text.rfind("pictavera call: ", 0), 0u) << text;
  }
}

TEST(ProgramTest, CallPrintsTheAnswerAloneOnStandardOutput) {
  std::string output;
  EXPECT_EQ(RunProgram({"call", "media_info_channel", "nope", "null"}, &output), 0);
  EXPECT_EQ(output, "{\"notImplemented\":true}\n");
}

TEST(ProgramTest, SocketThatCannotBeBoundExitsOneAndTermClosesCleanlyWithZero) {
  EXPECT_EQ(RunProgram({"serve", "--socket", "/nonexistent-folder/p.sock"}), 1);

  const std::string path =
      (std::filesystem::temp_directory_path() / ("pictavera-host-test-" + std::to_string(::getpid()))).string();
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::execl(PICTAVERA_BINARY, PICTAVERA_BINARY, "serve", "--socket", path.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  for (int i = 0; i < 500 && !std::filesystem::exists(path); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(std::filesystem::exists(path));
  ::kill(pid, SIGTERM);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
}
#endif

}  // namespace
}  // namespace runner
