// Tests of one connection's reply queue: ordered non-blocking writes, the hard limit, request tracking.
#include "flutter/engine/connection.h"

#include <csignal>

#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "flutter/engine/frame.h"

namespace flutter::engine {
namespace {

class ConnectionTest : public ::testing::Test {
 protected:
  ConnectionTest() {
    std::signal(SIGPIPE, SIG_IGN);
    EXPECT_EQ(::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds_), 0);
  }
  ~ConnectionTest() override { ::close(fds_[1]); }

  std::shared_ptr<Connection> Make(TransportLimits limits) {
    shared_ = std::make_shared<TransportShared>(limits);
    return std::make_shared<Connection>("peer", fds_[0], fds_[0], true, true, shared_);
  }
  // Everything the peer can read now, split into reply frames.
  std::vector<Reply> ReadReplies() {
    std::vector<Reply> replies;
    uint8_t chunk[65536];
    ssize_t got;
    while ((got = ::recv(fds_[1], chunk, sizeof chunk, MSG_DONTWAIT)) > 0) frames_.Feed(chunk, size_t(got));
    std::vector<uint8_t> body;
    while (frames_.Next(&body)) replies.push_back(*ParseReply(body.data(), body.size()));
    return replies;
  }

  int fds_[2];
  std::shared_ptr<TransportShared> shared_;
  FrameReader frames_;
};

TEST_F(ConnectionTest, RepliesQueuedFromAnyThreadGoOutWholeAndInOrderWithoutBlocking) {
  auto connection = Make({});
  const std::vector<uint8_t> payload(100000, 7);
  const auto now = std::chrono::steady_clock::now();
  // Far more than the socket holds: queuing never blocks, Flush writes what fits and keeps the rest.
  for (uint32_t id = 1; id <= 50; ++id) connection->QueueReply(id, payload.data(), payload.size());
  EXPECT_EQ(connection->output_bytes(), 50u * (9 + payload.size()));
  EXPECT_EQ(shared_->output_bytes.load(), connection->output_bytes());
  ASSERT_TRUE(connection->Flush(now));
  EXPECT_TRUE(connection->writing());
  uint32_t expected = 1;
  for (int round = 0; round < 1000 && expected <= 50; ++round) {
    for (const Reply& reply : ReadReplies()) {
      ASSERT_EQ(reply.id, expected++);
      ASSERT_EQ(reply.envelope, payload);
    }
    ASSERT_TRUE(connection->Flush(std::chrono::steady_clock::now()));
  }
  EXPECT_EQ(expected, 51u);
  EXPECT_FALSE(connection->has_output());
  EXPECT_EQ(shared_->output_bytes.load(), 0u);
  // The empty envelope (not implemented) is a reply of its own.
  connection->QueueReply(60, nullptr, 0);
  ASSERT_TRUE(connection->Flush(now));
  auto replies = ReadReplies();
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0].id, 60u);
  EXPECT_TRUE(replies[0].envelope.empty());
}

TEST_F(ConnectionTest, QueueBeyondTheHardLimitMarksTheConnectionOverrunAndDropsItsReplies) {
  TransportLimits limits;
  limits.connection_output_hard_bytes = 10000;
  auto connection = Make(limits);
  const std::vector<uint8_t> payload(4000, 1);
  connection->QueueReply(1, payload.data(), payload.size());
  connection->QueueReply(2, payload.data(), payload.size());
  EXPECT_FALSE(connection->overrun());
  connection->QueueReply(3, payload.data(), payload.size());
  EXPECT_TRUE(connection->overrun());
  EXPECT_EQ(connection->output_bytes(), 0u);
  EXPECT_EQ(shared_->output_bytes.load(), 0u);
  connection->QueueReply(4, payload.data(), payload.size());
  EXPECT_EQ(connection->output_bytes(), 0u) << "replies after the overrun are dropped";
  // A single reply larger than the limit still goes to a connection with nothing queued.
  auto fresh = std::make_shared<Connection>("big", -1, -1, true, false, shared_);
  const std::vector<uint8_t> huge(20000, 2);
  fresh->QueueReply(1, huge.data(), huge.size());
  EXPECT_FALSE(fresh->overrun());
  fresh->Close();
  EXPECT_EQ(shared_->output_bytes.load(), 0u);
}

TEST_F(ConnectionTest, RequestsInFlightPauseReadingUntilTheirRepliesAreReleased) {
  TransportLimits limits;
  limits.connection_requests = 2;
  limits.connection_request_bytes = 1000;
  auto connection = Make(limits);
  auto first = connection->TrackRequest(10);
  EXPECT_FALSE(connection->ReadPaused());
  auto second = connection->TrackRequest(10);
  EXPECT_TRUE(connection->ReadPaused()) << "two requests in flight";
  second.reset();
  EXPECT_FALSE(connection->ReadPaused());
  auto large = connection->TrackRequest(1000);
  EXPECT_TRUE(connection->ReadPaused()) << "bytes in flight";
  EXPECT_EQ(shared_->request_bytes.load(), 1010u);
  large.reset();
  first.reset();
  EXPECT_EQ(connection->requests_in_flight(), 0u);
  EXPECT_EQ(shared_->request_bytes.load(), 0u);
  // The server's totals pause every connection.
  TransportLimits total;
  total.total_output_bytes = 100;
  auto other = Make(total);
  const std::vector<uint8_t> payload(200, 3);
  other->QueueReply(1, payload.data(), payload.size());
  EXPECT_TRUE(std::make_shared<Connection>("idle", -1, -1, true, false, shared_)->ReadPaused());
  other->Close();
}

TEST_F(ConnectionTest, AWriteToAPeerThatLeftFailsWithEpipeAndCloseDropsTheQueue) {
  auto connection = Make({});
  ::close(fds_[1]);
  fds_[1] = ::socket(AF_UNIX, SOCK_STREAM, 0);  // something to close in the destructor
  const uint8_t envelope[] = {0, 0};
  connection->QueueReply(1, envelope, sizeof envelope);
  EXPECT_FALSE(connection->Flush(std::chrono::steady_clock::now()));
  EXPECT_TRUE(errno == EPIPE || errno == ECONNRESET) << errno;
  connection->Close();
  EXPECT_TRUE(connection->closed());
  EXPECT_FALSE(connection->has_output());
  connection->QueueReply(2, envelope, sizeof envelope);
  EXPECT_FALSE(connection->has_output());
}

}  // namespace
}  // namespace flutter::engine
