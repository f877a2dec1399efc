// Tests of the engine's messenger: delivery on the platform thread, one-shot replies from any thread,
// replies dropped after shutdown.
#include "flutter/engine/messenger.h"

#include <atomic>
#include <future>
#include <thread>

#include <gtest/gtest.h>

#include "flutter/engine/engine.h"

namespace flutter::engine {
namespace {

// Collects the reply (or the abandonment) of one delivered message.
struct Outcome {
  std::mutex mutex;
  std::condition_variable changed;
  int sends = 0;
  int abandons = 0;
  std::vector<uint8_t> envelope;

  ReplyTarget Target() {
    return ReplyTarget{[this](const uint8_t* data, size_t size) {
                         std::lock_guard lock(mutex);
                         ++sends;
                         envelope.assign(data, data + size);
                         changed.notify_all();
                       },
                       [this] {
                         std::lock_guard lock(mutex);
                         ++abandons;
                         changed.notify_all();
                       }};
  }
  bool WaitForEnd() {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::seconds(10), [this] { return sends + abandons > 0; });
  }
};

class MessengerTest : public ::testing::Test {
 protected:
  Engine engine;
  EngineMessenger& messenger = *engine.messenger();
};

TEST_F(MessengerTest, HandlerRunsOnPlatformThreadAndItsReplyReachesTheTarget) {
  std::atomic<bool> on_platform{false};
  messenger.SetMessageHandler("echo", [&](const uint8_t* message, size_t size, BinaryReply reply) {
    on_platform = engine.RunsTasksOnCurrentThread();
    std::vector<uint8_t> doubled(message, message + size);
    doubled.insert(doubled.end(), message, message + size);
    reply(doubled.data(), doubled.size());
  });
  Outcome outcome;
  ASSERT_TRUE(messenger.DeliverMessage("echo", {1, 2}, outcome.Target()));
  ASSERT_TRUE(outcome.WaitForEnd());
  EXPECT_TRUE(on_platform);
  EXPECT_EQ(outcome.envelope, (std::vector<uint8_t>{1, 2, 1, 2}));
  EXPECT_EQ(outcome.abandons, 0);
}

TEST_F(MessengerTest, ChannelWithoutHandlerGetsTheEmptyReply) {
  messenger.SetMessageHandler("gone", [](const uint8_t*, size_t, BinaryReply reply) { reply(nullptr, 0); });
  messenger.SetMessageHandler("gone", nullptr);
  for (const char* channel : {"gone", "never_registered"}) {
    Outcome outcome;
    ASSERT_TRUE(messenger.DeliverMessage(channel, {1}, outcome.Target()));
    ASSERT_TRUE(outcome.WaitForEnd());
    EXPECT_EQ(outcome.sends, 1) << channel;
    EXPECT_TRUE(outcome.envelope.empty()) << channel;
  }
}

TEST_F(MessengerTest, SecondReplyIsIgnoredAndAReplyReleasedUnansweredIsReportedAbandoned) {
  messenger.SetMessageHandler("twice", [](const uint8_t*, size_t, BinaryReply reply) {
    const uint8_t first = 1, second = 2;
    reply(&first, 1);
    reply(&second, 1);
  });
  messenger.SetMessageHandler("never", [](const uint8_t*, size_t, BinaryReply) {});
  Outcome twice, never;
  messenger.DeliverMessage("twice", {}, twice.Target());
  messenger.DeliverMessage("never", {}, never.Target());
  ASSERT_TRUE(twice.WaitForEnd());
  ASSERT_TRUE(never.WaitForEnd());
  engine.Shutdown();
  EXPECT_EQ(twice.sends, 1);
  EXPECT_EQ(twice.envelope, std::vector<uint8_t>{1});
  EXPECT_EQ(twice.abandons, 0);
  EXPECT_EQ(never.sends, 0);
  EXPECT_EQ(never.abandons, 1);
}

TEST_F(MessengerTest, ReplyFromABackgroundThreadAfterShutdownIsDroppedWithoutHarm) {
  std::promise<BinaryReply> kept;
  messenger.SetMessageHandler("later", [&](const uint8_t*, size_t, BinaryReply reply) { kept.set_value(reply); });
  Outcome outcome;
  ASSERT_TRUE(messenger.DeliverMessage("later", {}, outcome.Target()));
  BinaryReply reply = kept.get_future().get();
  engine.Shutdown();
  std::thread late([reply] {
    const uint8_t byte = 7;
    reply(&byte, 1);
  });
  late.join();
  EXPECT_EQ(outcome.sends, 0);
  // A message arriving after shutdown is refused and reported abandoned at once.
  Outcome refused;
  EXPECT_FALSE(messenger.DeliverMessage("later", {}, refused.Target()));
  EXPECT_EQ(refused.abandons, 1);
}

TEST_F(MessengerTest, RepliesRacingShutdownAreEitherWholeOrDropped) {
  std::vector<BinaryReply> replies;
  std::mutex replies_mutex;
  messenger.SetMessageHandler("many", [&](const uint8_t*, size_t, BinaryReply reply) {
    std::lock_guard lock(replies_mutex);
    replies.push_back(std::move(reply));
  });
  constexpr int kCalls = 200;
  std::atomic<int> sent{0};
  for (int i = 0; i < kCalls; ++i) {
    messenger.DeliverMessage("many", {}, ReplyTarget{[&](const uint8_t*, size_t) { ++sent; }, nullptr});
  }
  // Wait until every call has reached the handler.
  engine.RunOnPlatformThread([] {});
  std::thread answerer([&] {
    for (auto& reply : replies) reply(nullptr, 0);
  });
  engine.Shutdown();
  const int at_shutdown = sent.load();
  answerer.join();
  EXPECT_EQ(sent.load(), at_shutdown);  // nothing got through once Shutdown had returned
  EXPECT_LE(sent.load(), kCalls);
}

TEST_F(MessengerTest, SendWithoutListenerAnswersEmptyOnThePlatformThread) {
  std::promise<bool> answered;
  messenger.Send("to_interface", nullptr, 0, [&](const uint8_t* data, size_t size) {
    answered.set_value(data == nullptr && size == 0 && engine.RunsTasksOnCurrentThread());
  });
  EXPECT_TRUE(answered.get_future().get());
}

}  // namespace
}  // namespace flutter::engine
