// Tests of the transport frame format and the frame reader.
#include "flutter/engine/frame.h"

#include <algorithm>

#include <gtest/gtest.h>

namespace flutter::engine {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<uint8_t> out;
  for (int v : values) out.push_back(static_cast<uint8_t>(v));
  return out;
}

TEST(FrameTest, RequestAndReplyBytesAreLittleEndianWithLengthPrefix) {
  const auto message = Bytes({7, 9});
  EXPECT_EQ(EncodeRequest(0x04030201, "ab", message.data(), message.size()),
            Bytes({11, 0, 0, 0, 1, 1, 2, 3, 4, 2, 0, 'a', 'b', 7, 9}));
  EXPECT_EQ(EncodeReply(258, message.data(), message.size()), Bytes({7, 0, 0, 0, 2, 2, 1, 0, 0, 7, 9}));
  EXPECT_EQ(EncodeReply(5, nullptr, 0), Bytes({5, 0, 0, 0, 2, 5, 0, 0, 0}));
  EXPECT_TRUE(EncodeRequest(1, std::string(70000, 'x'), nullptr, 0).empty());
}

TEST(FrameTest, ParsedRequestAndReplyGiveBackWhatWasEncoded) {
  const auto message = Bytes({1, 2, 3});
  const auto frame = EncodeRequest(0xFFFFFFFF, "printing_channel", message.data(), message.size());
  auto request = ParseRequest(frame.data() + 4, frame.size() - 4);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->id, 0xFFFFFFFFu);
  EXPECT_EQ(request->channel, "printing_channel");
  EXPECT_EQ(request->message, message);

  const auto reply_frame = EncodeReply(42, nullptr, 0);
  auto reply = ParseReply(reply_frame.data() + 4, reply_frame.size() - 4);
  ASSERT_TRUE(reply);
  EXPECT_EQ(reply->id, 42u);
  EXPECT_TRUE(reply->envelope.empty());
}

TEST(FrameTest, MalformedBodiesAreRefusedWithAReason) {
  std::string error;
  EXPECT_FALSE(ParseRequest(nullptr, 0, &error));
  EXPECT_EQ(error, "request frame shorter than its header");
  const auto unknown_kind = Bytes({3, 1, 0, 0, 0, 0, 0});
  EXPECT_FALSE(ParseRequest(unknown_kind.data(), unknown_kind.size(), &error));
  EXPECT_EQ(error, "unknown frame kind");
  const auto reply_as_request = Bytes({2, 1, 0, 0, 0, 0, 0});
  EXPECT_FALSE(ParseRequest(reply_as_request.data(), reply_as_request.size(), &error));
  // Name of 3 bytes declared, 2 present.
  const auto long_name = Bytes({1, 1, 0, 0, 0, 3, 0, 'a', 'b'});
  EXPECT_FALSE(ParseRequest(long_name.data(), long_name.size(), &error));
  EXPECT_EQ(error, "channel name longer than the frame");
  const auto short_reply = Bytes({2, 1, 0});
  EXPECT_FALSE(ParseReply(short_reply.data(), short_reply.size(), &error));
}

TEST(FrameReaderTest, FramesSplitAcrossReadsOrSharingOneReadComeOutWhole) {
  const auto a = EncodeReply(1, Bytes({9}).data(), 1);
  const auto b = EncodeReply(2, nullptr, 0);
  std::vector<uint8_t> stream(a);
  stream.insert(stream.end(), b.begin(), b.end());
  FrameReader reader;
  std::vector<uint8_t> body;
  // One byte at a time.
  for (uint8_t byte : stream) reader.Feed(&byte, 1);
  ASSERT_TRUE(reader.Next(&body));
  EXPECT_EQ(body, std::vector<uint8_t>(a.begin() + 4, a.end()));
  ASSERT_TRUE(reader.Next(&body));
  EXPECT_EQ(body, std::vector<uint8_t>(b.begin() + 4, b.end()));
  EXPECT_FALSE(reader.Next(&body));
  EXPECT_EQ(reader.pending_bytes(), 0u);

  // A frame cut short stays pending.
  reader.Feed(stream.data(), stream.size() - 1);
  ASSERT_TRUE(reader.Next(&body));
  EXPECT_FALSE(reader.Next(&body));
  EXPECT_EQ(reader.pending_bytes(), b.size() - 1);
}

TEST(FrameReaderTest, LengthAboveTheLimitPoisonsTheReaderWithoutAllocating) {
  FrameReader reader;
  const auto hostile = Bytes({0xFF, 0xFF, 0xFF, 0xFF, 1, 2, 3});
  reader.Feed(hostile.data(), hostile.size());
  std::vector<uint8_t> body;
  EXPECT_FALSE(reader.Next(&body));
  EXPECT_TRUE(reader.failed());
  const auto good = EncodeReply(1, nullptr, 0);
  reader.Feed(good.data(), good.size());
  EXPECT_FALSE(reader.Next(&body));

  FrameReader at_limit;
  const auto limit = Bytes({0, 0, 0, 4});  // exactly 64 MiB is allowed, only waits for its bytes
  at_limit.Feed(limit.data(), limit.size());
  EXPECT_FALSE(at_limit.Next(&body));
  EXPECT_FALSE(at_limit.failed());
}

TEST(FrameReaderTest, ABufferGrownForALargeFrameIsGivenBackOnceTheFrameIsTaken) {
  FrameReader reader;
  const std::vector<uint8_t> big(8 << 20, 0x5a);
  const auto frame = EncodeReply(9, big.data(), big.size());
  std::vector<uint8_t> body;
  for (size_t at = 0; at < frame.size(); at += 65536) {
    reader.Feed(frame.data() + at, std::min<size_t>(65536, frame.size() - at));
  }
  EXPECT_GE(reader.held_bytes(), frame.size());
  ASSERT_TRUE(reader.Next(&body));
  EXPECT_EQ(body.size(), big.size() + 5);
  EXPECT_LE(reader.held_bytes(), FrameReader::kKeptBufferBytes);
  // A small frame after it still comes out whole, and small frames keep their buffer.
  const auto small = EncodeReply(10, big.data(), 100);
  reader.Feed(small.data(), small.size());
  ASSERT_TRUE(reader.Next(&body));
  EXPECT_EQ(body.size(), 105u);
  EXPECT_EQ(reader.pending_bytes(), 0u);
}

}  // namespace
}  // namespace flutter::engine
