// Tests of one connection's rules, with no descriptor in sight: requests in, replies out in order, the
// limits and the read gate, refused large requests, the overrun, stuck and cut-short clients.
#include "flutter/engine/connection.h"

#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "flutter/engine/engine.h"
#include "flutter/method_result_functions.h"
#include "flutter/standard_method_codec.h"

namespace flutter::engine {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

const char kChannel[] = "t";
constexpr uint8_t kEcho = 'e';  // the handler answers with the message itself
constexpr uint8_t kHold = 'h';  // the handler keeps the reply function unanswered

std::vector<uint8_t> Request(uint32_t id, uint8_t command, size_t payload_bytes = 0) {
  std::vector<uint8_t> message(1 + payload_bytes, 0x5a);
  message[0] = command;
  return EncodeRequest(id, kChannel, message.data(), message.size());
}

class ConnectionTest : public ::testing::Test {
 protected:
  ConnectionTest() {
    engine_.messenger()->SetMessageHandler(kChannel, [this](const uint8_t* message, size_t size, BinaryReply reply) {
      if (size > 0 && message[0] == kHold) {
        held_.push_back(std::move(reply));
        return;
      }
      reply(message, size);
    });
  }
  ~ConnectionTest() override { engine_.Shutdown(); }

  std::shared_ptr<Connection> Make(TransportLimits limits) {
    shared_ = std::make_shared<TransportShared>(limits);
    return std::make_shared<Connection>("peer", shared_);
  }
  void Send(Connection& connection, const std::vector<uint8_t>& bytes) {
    connection.Receive(*engine_.messenger(), bytes.data(), bytes.size());
  }
  // Lets the platform thread run every handler delivered so far.
  void Settle() { engine_.RunOnPlatformThread([] {}); }
  void ReleaseHeld() {
    engine_.RunOnPlatformThread([this] { held_.clear(); });
  }
  // Everything the connection hands out to write, taking at most `chunk` bytes per write, as replies.
  std::vector<Reply> Written(Connection& connection, size_t chunk = SIZE_MAX) {
    for (;;) {
      const Connection::Bytes out = connection.Output(Clock::now());
      if (out.size == 0) break;
      const size_t n = std::min(chunk, out.size);
      peer_.Feed(out.data, n);
      connection.Wrote(n, Clock::now());
    }
    std::vector<Reply> replies;
    std::vector<uint8_t> body;
    while (peer_.Next(&body)) replies.push_back(*ParseReply(body.data(), body.size()));
    return replies;
  }

  Engine engine_;
  std::vector<BinaryReply> held_;  // platform thread only
  std::shared_ptr<TransportShared> shared_;
  FrameReader peer_;
};

TEST_F(ConnectionTest, RequestsSplitAnywhereAreAnsweredWholeAndInOrderFromAnyThread) {
  auto connection = Make({});
  std::vector<uint8_t> stream;
  for (uint32_t id = 1; id <= 50; ++id) {
    const auto frame = Request(id, kEcho, 1000);
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  // Fed in pieces that cut frames and length prefixes anywhere.
  for (size_t at = 0; at < stream.size(); at += 777) {
    Send(*connection, {stream.begin() + at, stream.begin() + std::min(stream.size(), at + 777)});
  }
  Settle();
  // A reply queued from another thread joins the others; writes that take a few bytes at a time lose none.
  std::thread([&] { connection->QueueReply(60, nullptr, 0); }).join();
  const std::vector<Reply> replies = Written(*connection, 1500);
  ASSERT_EQ(replies.size(), 51u);
  for (uint32_t id = 1; id <= 50; ++id) {
    EXPECT_EQ(replies[id - 1].id, id);
    EXPECT_EQ(replies[id - 1].envelope.size(), 1001u);
  }
  EXPECT_EQ(replies[50].id, 60u);
  EXPECT_TRUE(replies[50].envelope.empty()) << "the not-implemented reply is a reply of its own";
  EXPECT_FALSE(connection->has_output());
  EXPECT_EQ(shared_->output_bytes.load(), 0u);
  EXPECT_EQ(connection->requests_in_flight(), 0u);
  EXPECT_TRUE(connection->InputEnded());
}

TEST_F(ConnectionTest, RequestsInFlightAndAHeldGatePauseReadingUntilTheyAreReleased) {
  ReadGate gate;
  TransportLimits limits;
  limits.connection_requests = 2;
  limits.read_gate = &gate;
  auto connection = Make(limits);
  Send(*connection, Request(1, kHold));
  Settle();
  EXPECT_FALSE(connection->ReadPaused());
  Send(*connection, Request(2, kHold));
  Settle();
  EXPECT_TRUE(connection->ReadPaused()) << "two requests in flight";
  ReleaseHeld();
  EXPECT_FALSE(connection->ReadPaused());
  EXPECT_EQ(connection->requests_in_flight(), 0u);
  gate.Hold();
  EXPECT_TRUE(connection->ReadPaused()) << "the host has no room";
  gate.released().Clear();
  gate.Release();
  EXPECT_FALSE(connection->ReadPaused());
  // The server's totals pause every connection.
  TransportLimits total;
  total.total_output_bytes = 100;
  auto one = Make(total);
  auto other = std::make_shared<Connection>("idle", shared_);
  const std::vector<uint8_t> payload(200, 3);
  one->QueueReply(1, payload.data(), payload.size());
  EXPECT_TRUE(other->ReadPaused());
  one->Close();
  EXPECT_FALSE(other->ReadPaused());
  EXPECT_EQ(shared_->output_bytes.load(), 0u);
}

TEST_F(ConnectionTest, LargeRequestsAreReadWholeOrRefusedAndNeverStopTheCallsBehindThem) {
  TransportLimits limits;
  limits.large_request_bytes = 64 * 1024;
  limits.total_large_request_bytes = 256 * 1024;
  auto connection = Make(limits);
  Send(*connection, Request(1, kHold, 200 * 1024));  // held: a large request being answered
  Send(*connection, Request(2, kEcho));
  Settle();
  EXPECT_FALSE(connection->ReadPaused());
  EXPECT_EQ(shared_->large_request_bytes.load(), Request(1, kHold, 200 * 1024).size() - 4);
  // A second one would take the large requests beyond their total: refused, the next call still read.
  Send(*connection, Request(3, kEcho, 200 * 1024));
  Send(*connection, Request(4, kEcho));
  // A frame above the absolute limit is skipped as it streams in, piece by piece, never held.
  std::vector<uint8_t> hostile = {0xff, 0xff, 0xff, 0x0f, kRequestKind, 5, 0, 0, 0};
  Send(*connection, hostile);
  const std::vector<uint8_t> piece(1 << 20, 0);
  for (uint32_t left = 0x0fffffff - 5; left > 0;) {
    const uint32_t n = std::min<uint32_t>(left, piece.size());
    Send(*connection, {piece.begin(), piece.begin() + n});
    left -= n;
    ASSERT_LT(connection->input_held_bytes(), 2u << 20);
  }
  Send(*connection, Request(6, kEcho));
  Settle();
  const std::vector<Reply> replies = Written(*connection);
  ASSERT_EQ(replies.size(), 5u);
  EXPECT_EQ(replies[0].id, 2u);
  EXPECT_EQ(replies[1].id, 3u);
  EXPECT_EQ(replies[2].id, 4u);
  EXPECT_EQ(replies[3].id, 5u);
  EXPECT_EQ(replies[4].id, 6u) << "the call after the skipped frame";
  // The refusals are error envelopes the interface can read.
  const auto& codec = StandardMethodCodec::GetInstance();
  for (const Reply* refused : {&replies[1], &replies[3]}) {
    std::string code;
    auto result = std::make_unique<MethodResultFunctions<EncodableValue>>(
        nullptr, [&](const std::string& c, const std::string&, const EncodableValue*) { code = c; }, nullptr);
    ASSERT_TRUE(codec.DecodeAndProcessResponseEnvelope(refused->envelope.data(), refused->envelope.size(), result.get()));
    EXPECT_EQ(code, kRequestTooLargeCode);
  }
  ReleaseHeld();
  EXPECT_EQ(shared_->large_request_bytes.load(), 0u);
}

TEST_F(ConnectionTest, OverrunStuckGoneAndCutShortClientsAreLetGo) {
  TransportLimits limits;
  limits.connection_output_hard_bytes = 10000;
  limits.stuck_limit = 1s;
  limits.drain_limit = 500ms;
  auto connection = Make(limits);
  const std::vector<uint8_t> payload(4000, 1);
  connection->QueueReply(1, payload.data(), payload.size());
  connection->QueueReply(2, payload.data(), payload.size());
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(connection->Check(start));
  connection->QueueReply(3, payload.data(), payload.size());
  EXPECT_EQ(connection->output_bytes(), 0u) << "an overrun drops the queue";
  EXPECT_EQ(connection->Check(start), Connection::Drop::kFailed);
  connection->QueueReply(4, payload.data(), payload.size());
  EXPECT_FALSE(connection->has_output()) << "replies after the drop are dropped";
  // A single reply larger than the hard limit still goes to a connection with nothing queued; the client
  // that takes none of it is stuck once stuck_limit has passed, and at close after drain_limit.
  auto stuck = Make(limits);
  const std::vector<uint8_t> huge(20000, 2);
  stuck->QueueReply(1, huge.data(), huge.size());
  ASSERT_GT(stuck->Output(start).size, 0u);
  EXPECT_EQ(stuck->StuckAt(), start + 1s);
  EXPECT_FALSE(stuck->Check(start + 999ms));
  EXPECT_FALSE(stuck->CheckAtClose(start + 499ms, start + 10s));
  EXPECT_EQ(stuck->CheckAtClose(start + 500ms, start + 10s), Connection::Drop::kFailed);
  auto slow = Make(limits);
  slow->QueueReply(1, huge.data(), huge.size());
  ASSERT_GT(slow->Output(start).size, 0u);
  EXPECT_EQ(slow->Check(start + 1s), Connection::Drop::kFailed);
  // A client that went away is let go quietly; one whose input ends inside a frame is said to.
  auto gone = Make(limits);
  gone->QueueReply(1, payload.data(), payload.size());
  gone->WriteFailed(true, "Broken pipe");
  EXPECT_EQ(gone->Check(start), Connection::Drop::kLeft);
  auto cut = Make(limits);
  const auto frame = Request(1, kEcho, 100);
  Send(*cut, {frame.begin(), frame.begin() + 50});
  EXPECT_FALSE(cut->InputEnded());
}

}  // namespace
}  // namespace flutter::engine
