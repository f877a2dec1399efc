// Tests of the transports: frames over a pipe pair and a unix socket served in-process with a test
// channel, and the built `pictavera` program over standard input and output.
#include "flutter/engine/transport.h"

#include <csignal>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "flutter/engine/connection.h"
#include "flutter/engine/engine.h"
#include "flutter/engine/frame.h"
#include "flutter/method_channel.h"
#include "flutter/standard_method_codec.h"
#include "tests/runner/host/frame_client.h"

namespace flutter::engine {
namespace {

const char kTestChannel[] = "test_channel";

using testing::CallMessage;
using testing::Client;
using testing::RequestFrame;
using testing::SuccessEnvelope;

// An engine with the test channel: "echo" answers at once with its argument, "hold" keeps its result,
// "release" answers and then answers every held call from another thread, in order.
class TransportTest : public ::testing::Test {
 protected:
  TransportTest() {
    std::signal(SIGPIPE, SIG_IGN);
    engine_.RunOnPlatformThread([this] {
      channel_ = std::make_unique<MethodChannel<EncodableValue>>(engine_.messenger(), kTestChannel,
                                                                  &StandardMethodCodec::GetInstance());
      channel_->SetMethodCallHandler([this](const MethodCall<EncodableValue>& call,
                                            std::unique_ptr<MethodResult<EncodableValue>> result) {
        if (call.method_name() == "echo") {
          result->Success(*call.arguments());
        } else if (call.method_name() == "hold") {
          held_.push_back({*call.arguments(), std::move(result)});
        } else if (call.method_name() == "release") {
          result->Success();
          std::thread([held = std::move(held_)]() mutable {
            for (auto& [value, pending] : held) pending->Success(value);
          }).detach();
          held_.clear();
        } else {
          result->NotImplemented();
        }
      });
    });
  }
  ~TransportTest() override { engine_.Shutdown(); }

  Engine engine_;
  std::unique_ptr<MethodChannel<EncodableValue>> channel_;
  std::vector<std::pair<EncodableValue, std::unique_ptr<MethodResult<EncodableValue>>>> held_;
};

// Serves a pipe pair on a thread; the test talks through `client`.
class PipeServer {
 public:
  explicit PipeServer(EngineMessenger& messenger, TransportLimits limits = {}) {
    int to_host[2], from_host[2];
    EXPECT_EQ(::pipe2(to_host, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(from_host, O_CLOEXEC), 0);
    host_in_ = to_host[0];
    host_out_ = from_host[1];
    client = std::make_unique<Client>(to_host[1], from_host[0]);
    server_ = std::make_unique<StreamServer>(host_in_, host_out_, limits);
    end_ = std::async(std::launch::async, [&messenger, this] { return server_->Serve(messenger, stop); });
  }
  ~PipeServer() {
    stop.Notify();
    if (end_.valid()) end_.wait();
    server_.reset();
    client.reset();
    ::close(host_in_);
    ::close(host_out_);
  }
  // After Serve returned: writes what is still queued.
  void Drain() { server_->Drain(); }
  ServeEnd WaitForEnd() { return end_.wait_for(std::chrono::seconds(10)) == std::future_status::ready ? end_.get() : ServeEnd::kFailed; }

  StopSignal stop;
  std::unique_ptr<Client> client;

 private:
  int host_in_ = -1, host_out_ = -1;
  std::unique_ptr<StreamServer> server_;
  std::future<ServeEnd> end_;
};

TEST_F(TransportTest, RepliesCarryTheirRequestIdsAndMayComeOutOfOrder) {
  PipeServer server(*engine_.messenger());
  server.client->Write(RequestFrame(1, kTestChannel, CallMessage("hold", EncodableValue("first"))));
  server.client->Write(RequestFrame(2, kTestChannel, CallMessage("hold", EncodableValue("second"))));
  server.client->Write(RequestFrame(3, kTestChannel, CallMessage("echo", EncodableValue(int32_t{3}))));
  server.client->Write(RequestFrame(4, kTestChannel, CallMessage("release")));
  std::map<uint32_t, std::vector<uint8_t>> replies;
  std::vector<uint32_t> order;
  for (int i = 0; i < 4; ++i) {
    auto reply = server.client->Read();
    ASSERT_TRUE(reply) << "reply " << i;
    order.push_back(reply->id);
    replies[reply->id] = reply->envelope;
  }
  EXPECT_EQ(order, (std::vector<uint32_t>{3, 4, 1, 2}));
  EXPECT_EQ(replies[1], SuccessEnvelope(EncodableValue("first")));
  EXPECT_EQ(replies[2], SuccessEnvelope(EncodableValue("second")));
  EXPECT_EQ(replies[3], SuccessEnvelope(EncodableValue(int32_t{3})));
}

TEST_F(TransportTest, MalformedFramesAreSkippedAndUndecodableCallsGetTheEmptyReply) {
  PipeServer server(*engine_.messenger());
  ::testing::internal::CaptureStderr();
  auto unknown_kind = RequestFrame(10, kTestChannel, CallMessage("echo"));
  unknown_kind[4] = 9;
  server.client->Write(unknown_kind);
  // The name claims 200 bytes; the frame holds 3 after the header.
  server.client->Write({10, 0, 0, 0, 1, 11, 0, 0, 0, 200, 0, 'a', 'b', 'c'});
  server.client->Write({2, 0, 0, 0, 1, 12});  // shorter than a request header
  server.client->Write(RequestFrame(13, kTestChannel, {0xFF, 0xFE, 0x00}));
  server.client->Write(RequestFrame(14, "no_such_channel", CallMessage("echo")));
  server.client->Write(RequestFrame(15, kTestChannel, CallMessage("echo", EncodableValue(true))));
  auto garbage = server.client->Read();
  auto unknown_channel = server.client->Read();
  auto good = server.client->Read();
  server.client->CloseWrite();
  EXPECT_EQ(server.WaitForEnd(), ServeEnd::kEndOfInput);
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(garbage && unknown_channel && good);
  EXPECT_EQ(garbage->id, 13u);
  EXPECT_TRUE(garbage->envelope.empty());
  EXPECT_EQ(unknown_channel->id, 14u);
  EXPECT_TRUE(unknown_channel->envelope.empty());
  EXPECT_EQ(good->id, 15u);
  EXPECT_EQ(good->envelope, SuccessEnvelope(EncodableValue(true)));
  EXPECT_NE(log.find("Unable to construct method call from message on channel test_channel"), std::string::npos) << log;
  EXPECT_NE(log.find("unknown frame kind"), std::string::npos) << log;
  EXPECT_NE(log.find("channel name longer than the frame"), std::string::npos) << log;
}

TEST_F(TransportTest, FrameCutShortEndsTheStreamCleanlyAndAHostileLengthIsSkippedUntilThen) {
  {
    PipeServer server(*engine_.messenger());
    server.client->Write({100, 0, 0, 0, 1, 2, 3});  // claims 100 bytes, then the input ends
    server.client->CloseWrite();
    EXPECT_EQ(server.WaitForEnd(), ServeEnd::kFailed);
  }
  {
    PipeServer server(*engine_.messenger());
    // Two gigabytes announced: refused, and skipped as they come, so the end of input cuts them short.
    server.client->Write({0xFF, 0xFF, 0xFF, 0x7F, 1});
    server.client->CloseWrite();
    EXPECT_EQ(server.WaitForEnd(), ServeEnd::kFailed);
  }
  {
    PipeServer server(*engine_.messenger());
    server.client->CloseWrite();
    EXPECT_EQ(server.WaitForEnd(), ServeEnd::kEndOfInput);
  }
  {
    PipeServer server(*engine_.messenger());
    server.stop.Notify();
    EXPECT_EQ(server.WaitForEnd(), ServeEnd::kStopped);
  }
}

std::string SocketPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid()))).string();
}

int Connect(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  EXPECT_EQ(::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0) << std::strerror(errno);
  return fd;
}

TEST_F(TransportTest, SocketServesSeveralClientsAndOneClientsBadFrameLeavesTheOthersAlone) {
  const std::string path = SocketPath("pictavera-transport-test.sock");
  auto server = SocketServer::Listen(path);
  ASSERT_TRUE(server);
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_TRUE(S_ISSOCK(info.st_mode));
  EXPECT_EQ(info.st_mode & 0777, 0600u);
  EXPECT_FALSE(SocketServer::Listen(path)) << "a second server on a path in use";

  StopSignal stop;
  auto served = std::async(std::launch::async, [&] { return server->Serve(*engine_.messenger(), stop); });
  const int a_fd = Connect(path), b_fd = Connect(path), c_fd = Connect(path);
  Client a(a_fd, a_fd), b(b_fd, b_fd), c(c_fd, c_fd);
  // a holds a call open, b starts a frame above every limit (skipped as it streams in) and stops
  // sending, c keeps talking and releases a's call.
  a.Write(RequestFrame(1, kTestChannel, CallMessage("hold", EncodableValue("for a"))));
  b.Write({0xFF, 0xFF, 0xFF, 0xFF});
  b.CloseWrite();
  EXPECT_TRUE(b.Ends()) << "b's connection ends with its input, in the middle of the frame";
  c.Write(RequestFrame(7, kTestChannel, CallMessage("echo", EncodableValue("for c"))));
  auto c_reply = c.Read();
  ASSERT_TRUE(c_reply);
  EXPECT_EQ(c_reply->id, 7u);
  EXPECT_EQ(c_reply->envelope, SuccessEnvelope(EncodableValue("for c")));
  c.Write(RequestFrame(8, kTestChannel, CallMessage("release")));
  ASSERT_TRUE(c.Read());
  // a stopped sending but still gets its late answer.
  a.CloseWrite();
  auto a_reply = a.Read();
  ASSERT_TRUE(a_reply);
  EXPECT_EQ(a_reply->id, 1u);
  EXPECT_EQ(a_reply->envelope, SuccessEnvelope(EncodableValue("for a")));
  EXPECT_TRUE(a.Ends()) << "closed once nothing is pending";

  stop.Notify();
  EXPECT_EQ(served.get(), ServeEnd::kStopped);
  server.reset();
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_FALSE(SocketServer::Listen("/nonexistent-folder/x.sock"));
  // A socket file nobody listens on (its host was killed) is replaced; a regular file is not.
  {
    const int stale = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(stale, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(stale);
    EXPECT_TRUE(SocketServer::Listen(path));
  }
  {
    std::FILE* file = std::fopen(path.c_str(), "w");
    ASSERT_TRUE(file);
    std::fclose(file);
    EXPECT_FALSE(SocketServer::Listen(path));
    EXPECT_TRUE(std::filesystem::exists(path));
    std::filesystem::remove(path);
  }
  EXPECT_FALSE(SocketServer::Listen(std::string(200, 'x')));
}

#ifdef PICTAVERA_BINARY
// Runs `pictavera serve --stdio`, writes `input`, closes standard input and collects standard output.
struct ProgramRun {
  int exit_code = -1;
  std::vector<Reply> replies;
};

ProgramRun RunServeStdio(const std::vector<uint8_t>& input) {
  int to_child[2], from_child[2];
  EXPECT_EQ(::pipe2(to_child, O_CLOEXEC), 0);
  EXPECT_EQ(::pipe2(from_child, O_CLOEXEC), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(to_child[0], STDIN_FILENO);
    ::dup2(from_child[1], STDOUT_FILENO);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, STDERR_FILENO);
    ::execl(PICTAVERA_BINARY, PICTAVERA_BINARY, "serve", "--stdio", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(to_child[0]);
  ::close(from_child[1]);
  ProgramRun run;
  {
    Client client(to_child[1], from_child[0]);
    client.Write(input);
    client.CloseWrite();
    while (auto reply = client.Read()) run.replies.push_back(*reply);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  run.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

TEST(ProgramTransportTest, ServeStdioAnswersQueuedCallsThenExitsZeroAtEndOfInput) {
  std::vector<uint8_t> input;
  for (uint32_t id = 1; id <= 50; ++id) {
    const auto frame = RequestFrame(id, "printing_channel", CallMessage("noSuchMethod"));
    input.insert(input.end(), frame.begin(), frame.end());
  }
  const auto unknown = RequestFrame(51, "no_channel", CallMessage("x"));
  input.insert(input.end(), unknown.begin(), unknown.end());
  const auto run = RunServeStdio(input);
  EXPECT_EQ(run.exit_code, 0);
  ASSERT_EQ(run.replies.size(), 51u);
  for (uint32_t i = 0; i < 51; ++i) {
    EXPECT_EQ(run.replies[i].id, i + 1);
    EXPECT_TRUE(run.replies[i].envelope.empty());
  }
}

TEST(ProgramTransportTest, InterruptWhileInputStaysOpenClosesWithZero) {
  int to_child[2], from_child[2];
  ASSERT_EQ(::pipe2(to_child, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(from_child, O_CLOEXEC), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(to_child[0], STDIN_FILENO);
    ::dup2(from_child[1], STDOUT_FILENO);
    ::execl(PICTAVERA_BINARY, PICTAVERA_BINARY, "serve", "--stdio", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(to_child[0]);
  ::close(from_child[1]);
  Client client(to_child[1], from_child[0]);
  // Once a call is answered the host is serving; then the interrupt closes it.
  client.Write(RequestFrame(1, "thumbnail_channel", CallMessage("none")));
  ASSERT_TRUE(client.Read());
  ::kill(pid, SIGINT);
  int status = 0;
  ::waitpid(pid, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

// Starts `pictavera serve --stdio` with its standard error on /dev/null; the test keeps the other ends.
struct ServeStdioProcess {
  pid_t pid = -1;
  int to_host = -1;    // the host's standard input
  int from_host = -1;  // the host's standard output, which the test may leave unread
};

ServeStdioProcess StartServeStdio() {
  int to_child[2], from_child[2];
  EXPECT_EQ(::pipe2(to_child, O_CLOEXEC), 0);
  EXPECT_EQ(::pipe2(from_child, O_CLOEXEC), 0);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(to_child[0], STDIN_FILENO);
    ::dup2(from_child[1], STDOUT_FILENO);
    const int null_fd = ::open("/dev/null", O_WRONLY);
    ::dup2(null_fd, STDERR_FILENO);
    ::execl(PICTAVERA_BINARY, PICTAVERA_BINARY, "serve", "--stdio", static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(to_child[0]);
  ::close(from_child[1]);
  return {pid, to_child[1], from_child[0]};
}

// Waits up to `limit` for the process to end; its exit code, or -1 when it had to be killed.
int WaitForExit(pid_t pid, std::chrono::seconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  int status = 0;
  while (::waitpid(pid, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() > deadline) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Writes 20 000 calls and reads none of their answers: more answers than the output pipe holds.
void FloodUnread(int fd) {
  std::vector<uint8_t> input;
  for (uint32_t id = 1; id <= 20000; ++id) {
    const auto frame = RequestFrame(id, "printing_channel", CallMessage("noSuchMethod", EncodableValue(std::string(200, 'x'))));
    input.insert(input.end(), frame.begin(), frame.end());
  }
  ASSERT_TRUE(WriteAll(fd, input.data(), input.size(), false));
}

TEST(ProgramTransportTest, TermOrEndOfInputEndTheHostPromptlyWhileItsAnswersAreNeverRead) {
  {
    auto host = StartServeStdio();
    FloodUnread(host.to_host);
    ::kill(host.pid, SIGTERM);
    EXPECT_EQ(WaitForExit(host.pid, std::chrono::seconds(5)), 0);
    ::close(host.to_host);
    ::close(host.from_host);
  }
  {
    auto host = StartServeStdio();
    FloodUnread(host.to_host);
    ::close(host.to_host);  // end of input; the answers stay unread
    EXPECT_EQ(WaitForExit(host.pid, std::chrono::seconds(5)), 0);
    ::close(host.from_host);
  }
}

TEST(ProgramTransportTest, ServeStdioExitsNonZeroOnlyWhenAProtocolFailureEndedTheConnection) {
  EXPECT_EQ(RunServeStdio({}).exit_code, 0);
  // A malformed frame whose length is sound is skipped; the stream goes on and ends cleanly.
  EXPECT_EQ(RunServeStdio({3, 0, 0, 0, 7, 7, 7}).exit_code, 0);
  EXPECT_EQ(RunServeStdio({0xFF, 0xFF, 0xFF, 0xFF, 0, 0}).exit_code, 4);  // refused, then cut short
  EXPECT_EQ(RunServeStdio({3, 0, 0, 0, 7, 7, 7, 9}).exit_code, 4);        // the last frame cut short
  // The replies to requests before the failure still go out.
  auto input = RequestFrame(1, "printing_channel", CallMessage("noSuchMethod"));
  input.insert(input.end(), {0xFF, 0xFF, 0xFF, 0xFF});
  const auto run = RunServeStdio(input);
  EXPECT_EQ(run.exit_code, 4);
  ASSERT_EQ(run.replies.size(), 1u);
  EXPECT_EQ(run.replies[0].id, 1u);
}
#endif

}  // namespace
}  // namespace flutter::engine
