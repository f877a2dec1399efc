// Tests of the transports under load and abuse: a slow reader is paused without delaying others, a stuck
// reader is dropped, accept backs off when descriptors run out, and shutdown never waits for a client.
#include "flutter/engine/transport.h"

#include <atomic>
#include <csignal>
#include <cstring>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "flutter/engine/engine.h"
#include "flutter/engine/frame.h"

namespace flutter::engine {
namespace {

using namespace std::chrono_literals;

const char kChannel[] = "t";
// Messages of the test channel: the first byte says what the handler does.
constexpr uint8_t kEcho = 'e';  // answers with the message itself
constexpr uint8_t kHold = 'h';  // keeps the reply function unanswered

std::vector<uint8_t> Request(uint32_t id, uint8_t command, size_t payload_bytes = 0) {
  std::vector<uint8_t> message(1 + payload_bytes, 0x5a);
  message[0] = command;
  return EncodeRequest(id, kChannel, message.data(), message.size());
}

// `count` echo requests of `payload_bytes` each, back to back.
std::vector<uint8_t> EchoStream(int count, size_t payload_bytes) {
  std::vector<uint8_t> stream;
  for (int id = 1; id <= count; ++id) {
    const auto frame = Request(static_cast<uint32_t>(id), kEcho, payload_bytes);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  return stream;
}

// Writes `bytes` to the non-blocking `fd` as fast as the host reads them, for at most `limit`; a client
// that never reads its replies. Returns how many bytes went.
size_t SendFor(int fd, const std::vector<uint8_t>& bytes, std::chrono::milliseconds limit) {
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
  const auto deadline = std::chrono::steady_clock::now() + limit;
  size_t sent = 0;
  while (sent < bytes.size() && std::chrono::steady_clock::now() < deadline) {
    const ssize_t n = ::write(fd, bytes.data() + sent, bytes.size() - sent);
    if (n > 0) {
      sent += static_cast<size_t>(n);
    } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
      break;
    } else {
      std::this_thread::sleep_for(1ms);
    }
  }
  return sent;
}

std::string SocketPath(const char* name) {
  return (std::filesystem::temp_directory_path() / (std::string(name) + "-" + std::to_string(::getpid()))).string();
}

// One socket client: blocking writes, reads with a deadline.
class SocketClient {
 public:
  explicit SocketClient(const std::string& path) {
    fd_ = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    connected_ = ::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
  }
  ~SocketClient() { ::close(fd_); }
  bool connected() const { return connected_; }
  bool Write(const std::vector<uint8_t>& bytes) { return WriteAll(fd_, bytes.data(), bytes.size(), true); }
  // The next reply; std::nullopt at end of input, on an error or after `timeout`.
  std::optional<Reply> Read(std::chrono::milliseconds timeout = 10s) {
    std::vector<uint8_t> body;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!frames_.Next(&body)) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      pollfd fd{fd_, POLLIN, 0};
      if (left.count() <= 0 || ::poll(&fd, 1, static_cast<int>(left.count())) <= 0) return std::nullopt;
      uint8_t chunk[65536];
      const ssize_t got = ::read(fd_, chunk, sizeof chunk);
      if (got <= 0) return std::nullopt;
      frames_.Feed(chunk, static_cast<size_t>(got));
    }
    return ParseReply(body.data(), body.size());
  }
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool connected_ = false;
  FrameReader frames_;
};

class TransportLimitsTest : public ::testing::Test {
 protected:
  TransportLimitsTest() {
    std::signal(SIGPIPE, SIG_IGN);
    engine_.messenger()->SetMessageHandler(kChannel, [this](const uint8_t* message, size_t size, BinaryReply reply) {
      ++delivered_;
      if (size > 0 && message[0] == kHold) {
        held_.push_back(std::move(reply));
        return;
      }
      reply(message, size);
    });
  }
  ~TransportLimitsTest() override {
    engine_.Shutdown();
    std::filesystem::remove(path_);
  }

  // Starts a socket server with `limits` on its own thread.
  void StartSocketServer(TransportLimits limits, AcceptFunction accept = nullptr) {
    server_ = SocketServer::Listen(path_, limits, std::move(accept));
    ASSERT_TRUE(server_);
    served_ = std::async(std::launch::async, [this] { return server_->Serve(*engine_.messenger(), stop_); });
  }
  ServeEnd StopSocketServer() {
    stop_.Notify();
    const ServeEnd end = served_.get();
    engine_.Shutdown();
    server_->Drain();
    return end;
  }

  Engine engine_;
  std::atomic<int> delivered_{0};
  std::vector<BinaryReply> held_;  // platform thread only
  const std::string path_ = SocketPath("pictavera-limits-test.sock");
  StopSignal stop_;
  std::unique_ptr<SocketServer> server_;
  std::future<ServeEnd> served_;
};

TEST_F(TransportLimitsTest, AClientThatDoesNotReadIsPausedWhileAnotherIsAnsweredAndNothingIsLost) {
  TransportLimits limits;
  limits.connection_output_bytes = 64 * 1024;
  limits.connection_request_bytes = 64 * 1024;
  StartSocketServer(limits);
  SocketClient flooder(path_), other(path_);
  ASSERT_TRUE(flooder.connected() && other.connected());
  constexpr uint32_t kCalls = 2000;  // 8 MB of echoes, far beyond what the host may queue for one client
  auto writing = std::async(std::launch::async, [&] {
    for (uint32_t id = 1; id <= kCalls; ++id) {
      if (!flooder.Write(Request(id, kEcho, 4096))) return false;
    }
    return true;
  });
  std::this_thread::sleep_for(300ms);
  const int delivered_while_unread = delivered_.load();
  for (uint32_t id = 1; id <= 20; ++id) {
    ASSERT_TRUE(other.Write(Request(id, kEcho, 10)));
    auto reply = other.Read(2s);
    ASSERT_TRUE(reply) << "call " << id << " of the other client";
    EXPECT_EQ(reply->id, id);
  }
  EXPECT_LT(delivered_while_unread, 1000) << "reading the flooder must pause";
  EXPECT_EQ(writing.wait_for(0s), std::future_status::timeout) << "the flooder's writes are held back";
  // Once it reads, every call is answered, in order.
  for (uint32_t id = 1; id <= kCalls; ++id) {
    auto reply = flooder.Read(5s);
    ASSERT_TRUE(reply) << id;
    ASSERT_EQ(reply->id, id);
    ASSERT_EQ(reply->envelope.size(), 4097u);
  }
  EXPECT_TRUE(writing.get());
  EXPECT_EQ(StopSocketServer(), ServeEnd::kStopped);
}

TEST_F(TransportLimitsTest, AClientThatTakesNoReplyIsDroppedWithOneLineAndTheOthersCarryOn) {
  TransportLimits limits;
  limits.connection_output_bytes = 64 * 1024;
  limits.stuck_limit = 300ms;
  StartSocketServer(limits);
  SocketClient stuck(path_), other(path_);
  for (int i = 0; i < 300 && server_->client_count() < 2; ++i) std::this_thread::sleep_for(10ms);
  ASSERT_EQ(server_->client_count(), 2u);
  ::testing::internal::CaptureStderr();
  // Writes until the host stops reading it; its replies fill the socket and the queue.
  EXPECT_LT(SendFor(stuck.fd(), EchoStream(200, 60000), 500ms), 200u * 60000) << "reading it paused";
  for (int i = 0; i < 300 && server_->client_count() == 2; ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(server_->client_count(), 1u) << "the stuck client is dropped";
  ASSERT_TRUE(other.Write(Request(5, kEcho)));
  auto reply = other.Read(2s);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->id, 5u);
  EXPECT_EQ(StopSocketServer(), ServeEnd::kStopped);
  const std::string log = ::testing::internal::GetCapturedStderr();
  size_t lines = 0;
  for (size_t at = log.find("took no reply"); at != std::string::npos; at = log.find("took no reply", at + 1)) ++lines;
  EXPECT_EQ(lines, 1u) << log;
  EXPECT_NE(log.find("ERROR: client 1 took no reply for 300 ms; connection dropped"), std::string::npos) << log;
}

TEST_F(TransportLimitsTest, RunningOutOfDescriptorsPausesAcceptingWithOneLineAndNoSpinning) {
  std::atomic<bool> refuse{true};
  std::atomic<int> attempts{0};
  TransportLimits limits;
  limits.accept_backoff = 100ms;
  ::testing::internal::CaptureStderr();
  StartSocketServer(limits, [&](int listen_fd) {
    if (refuse.load()) {
      ++attempts;
      errno = EMFILE;
      return -1;
    }
    return ::accept4(listen_fd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
  });
  SocketClient waiting(path_);  // stays in the backlog while the host has no descriptor for it
  ASSERT_TRUE(waiting.connected());
  std::this_thread::sleep_for(700ms);
  const int attempts_while_refused = attempts.load();
  refuse = false;
  ASSERT_TRUE(waiting.Write(Request(3, kEcho)));
  auto reply = waiting.Read(3s);
  ASSERT_TRUE(reply) << "accepted once descriptors are free again";
  EXPECT_EQ(reply->id, 3u);
  EXPECT_EQ(StopSocketServer(), ServeEnd::kStopped);
  const std::string log = ::testing::internal::GetCapturedStderr();
  // About one try per back-off period, not a busy loop.
  EXPECT_GE(attempts_while_refused, 2);
  EXPECT_LE(attempts_while_refused, 12);
  size_t lines = 0;
  for (size_t at = log.find("cannot accept clients"); at != std::string::npos;
       at = log.find("cannot accept clients", at + 1)) {
    ++lines;
  }
  EXPECT_EQ(lines, 1u) << log;
  EXPECT_NE(log.find("Too many open files"), std::string::npos) << log;
}

TEST_F(TransportLimitsTest, ALargeRequestIsReadWholeWhileALightCallBehindItIsAnsweredAndOneTooManyIsRefused) {
  TransportLimits limits;
  limits.large_request_bytes = 64 * 1024;
  limits.total_large_request_bytes = 3 * 512 * 1024;
  StartSocketServer(limits);
  SocketClient greedy(path_), other(path_);
  ::testing::internal::CaptureStderr();
  // Two large calls being answered, a light one behind them answered at once.
  ASSERT_TRUE(greedy.Write(Request(1, kHold, 1 << 20)));
  ASSERT_TRUE(greedy.Write(Request(2, kEcho)));
  auto reply = greedy.Read(5s);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->id, 2u);
  // Half of a third large call announced: more than the large requests may hold, so it is refused as it
  // streams in, and the other client's light call is still served meanwhile.
  std::vector<uint8_t> third = Request(3, kEcho, 1 << 20);
  third.resize(third.size() / 2);
  ASSERT_TRUE(greedy.Write(third));
  ASSERT_TRUE(other.Write(Request(8, kEcho)));
  reply = other.Read(5s);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->id, 8u);
  EXPECT_EQ(StopSocketServer(), ServeEnd::kStopped);
  const std::string log = ::testing::internal::GetCapturedStderr();
  const std::string refused = "ERROR: request of " + std::to_string(Request(3, kEcho, 1 << 20).size() - 4) +
                              " bytes from client 1 refused: the host already holds " +
                              std::to_string(Request(1, kHold, 1 << 20).size() - 4) +
                              " bytes of large requests (at most 1572864)";
  EXPECT_NE(log.find(refused), std::string::npos) << log;
}

// The stream transport over a pipe pair whose output nobody reads.
class StuckPipe {
 public:
  StuckPipe() {
    EXPECT_EQ(::pipe2(to_host_, O_CLOEXEC), 0);
    EXPECT_EQ(::pipe2(from_host_, O_CLOEXEC), 0);
  }
  ~StuckPipe() {
    for (int fd : {to_host_[0], to_host_[1], from_host_[0], from_host_[1]}) ::close(fd);
  }
  int host_in() const { return to_host_[0]; }
  int host_out() const { return from_host_[1]; }
  // Writes echo requests as long as the host reads them, for at most `limit`.
  size_t Flood(int count, size_t payload_bytes, std::chrono::milliseconds limit) {
    return SendFor(to_host_[1], EchoStream(count, payload_bytes), limit);
  }

 private:
  int to_host_[2];
  int from_host_[2];
};

TEST_F(TransportLimitsTest, AnswersNeverWaitForAStuckReaderAndStopEndsServeAndDrainAtOnce) {
  StuckPipe pipe;
  TransportLimits limits;
  limits.connection_output_bytes = 256 * 1024;
  limits.drain_limit = 200ms;
  StreamServer server(pipe.host_in(), pipe.host_out(), limits);
  auto served = std::async(std::launch::async, [&] { return server.Serve(*engine_.messenger(), stop_); });
  EXPECT_LT(pipe.Flood(500, 8192, 500ms), 500u * 8192) << "reading it paused";
  // Replies to 4 MB of echoes are queued but not taken: the platform thread still runs other tasks.
  auto platform_free = std::async(std::launch::async, [&] { return engine_.RunOnPlatformThread([] {}); });
  ASSERT_EQ(platform_free.wait_for(5s), std::future_status::ready) << "an answering thread was blocked";
  ::testing::internal::CaptureStderr();
  const auto stop_time = std::chrono::steady_clock::now();
  stop_.Notify();
  ASSERT_EQ(served.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(served.get(), ServeEnd::kStopped);
  engine_.Shutdown();
  server.Drain();
  const auto took = std::chrono::steady_clock::now() - stop_time;
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_LT(took, 3s);
  EXPECT_NE(log.find("ERROR: standard input took no reply at close;"), std::string::npos) << log;
}

TEST_F(TransportLimitsTest, AStreamWhoseReaderIsStuckEndsAsAFailure) {
  StuckPipe pipe;
  TransportLimits limits;
  limits.connection_output_bytes = 256 * 1024;
  limits.stuck_limit = 300ms;
  ::testing::internal::CaptureStderr();
  StreamServer server(pipe.host_in(), pipe.host_out(), limits);
  auto served = std::async(std::launch::async, [&] { return server.Serve(*engine_.messenger(), stop_); });
  pipe.Flood(500, 8192, 500ms);
  ASSERT_EQ(served.wait_for(5s), std::future_status::ready);
  EXPECT_EQ(served.get(), ServeEnd::kFailed);
  engine_.Shutdown();
  server.Drain();  // the dropped reader is not waited for again
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("ERROR: standard input took no reply for 300 ms; connection dropped"), std::string::npos) << log;
  EXPECT_EQ(log.find("at close"), std::string::npos) << log;
}

TEST_F(TransportLimitsTest, WindowsOfPipelinedCallsAreAllAnsweredWithoutALostWakeUp) {
  // Answers land while the loop is busy with the previous ones: every one of them must still go out.
  int to_host[2], from_host[2];
  ASSERT_EQ(::pipe2(to_host, O_CLOEXEC), 0);
  ASSERT_EQ(::pipe2(from_host, O_CLOEXEC), 0);
  {
    StreamServer server(to_host[0], from_host[1]);
    auto served = std::async(std::launch::async, [&] { return server.Serve(*engine_.messenger(), stop_); });
    FrameReader replies;
    std::vector<uint8_t> body;
    uint32_t next_id = 1;
    for (int round = 0; round < 300; ++round) {
      const auto window = EchoStream(64, 8);
      ASSERT_TRUE(WriteAll(to_host[1], window.data(), window.size(), false));
      for (int answered = 0; answered < 64;) {
        while (replies.Next(&body)) {
          ASSERT_EQ(ParseReply(body.data(), body.size())->id, static_cast<uint32_t>(answered + 1));
          ++answered;
        }
        if (answered == 64) break;
        pollfd fd{from_host[0], POLLIN, 0};
        ASSERT_EQ(::poll(&fd, 1, 10000), 1) << "round " << round << ": answers stopped after " << answered;
        uint8_t chunk[4096];
        const ssize_t got = ::read(from_host[0], chunk, sizeof chunk);
        ASSERT_GT(got, 0);
        replies.Feed(chunk, static_cast<size_t>(got));
      }
      next_id += 64;
    }
    stop_.Notify();
    EXPECT_EQ(served.get(), ServeEnd::kStopped);
  }
  for (int fd : {to_host[0], to_host[1], from_host[0], from_host[1]}) ::close(fd);
}

TEST_F(TransportLimitsTest, AnswersGivenAfterTheServerIsGoneAreDroppedQuietly) {
  StartSocketServer({});
  {
    SocketClient client(path_);
    ASSERT_TRUE(client.Write(Request(1, kHold)));
    for (int i = 0; i < 300 && delivered_.load() == 0; ++i) std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(StopSocketServer(), ServeEnd::kStopped);
  server_.reset();
  ASSERT_EQ(held_.size(), 1u);
  std::thread([reply = std::move(held_[0])] {
    const uint8_t envelope[] = {0};
    reply(envelope, sizeof envelope);
  }).join();
  held_.clear();
}

}  // namespace
}  // namespace flutter::engine
