// Tests for ThreadRegistry: owned threads are joined, finished ones reaped, stop requests seen.
#include "runner/thread_registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <stdexcept>

namespace runner {
namespace {

TEST(ThreadRegistryTest, JoinAllWaitsForEveryThreadIncludingOnesStartedWhileWaiting) {
  ThreadRegistry registry;
  std::atomic<int> finished{0};
  for (int i = 0; i < 4; ++i) {
    ASSERT_TRUE(registry.Start("worker", [&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      ++finished;
    }));
  }
  ASSERT_TRUE(registry.Start("starter", [&] {
    // A thread that starts another before it ends: JoinAll must wait for that one too.
    registry.Start("late", [&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      ++finished;
    });
    ++finished;
  }));
  registry.JoinAll();
  EXPECT_EQ(finished.load(), 6);
  EXPECT_EQ(registry.size(), 0u);
}

TEST(ThreadRegistryTest, LongWorkSeesTheStopRequestAndTheRegistryIsReusableAfterwards) {
  ThreadRegistry registry;
  std::atomic<bool> saw_stop{false};
  ASSERT_TRUE(registry.Start("long", [&] {
    const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!registry.stopping() && std::chrono::steady_clock::now() < give_up) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    saw_stop = registry.stopping();
  }));
  registry.JoinAll();
  EXPECT_TRUE(saw_stop.load());
  EXPECT_FALSE(registry.stopping());
  std::atomic<bool> ran{false};
  ASSERT_TRUE(registry.Start("again", [&] { ran = true; }));
  registry.JoinAll();
  EXPECT_TRUE(ran.load());
}

TEST(ThreadRegistryTest, AThreadWaitingOnItsOwnConditionIsWokenByTheStopRequest) {
  // It waits without any timeout: only the waker can end the wait, so JoinAll returning proves it ran.
  ThreadRegistry registry;
  std::mutex mutex;
  std::condition_variable wake;
  const uint64_t key = registry.AddWaker([&] {
    { std::lock_guard lock(mutex); }
    wake.notify_all();
  });
  ASSERT_TRUE(registry.Start("waiting", [&] {
    std::unique_lock lock(mutex);
    wake.wait(lock, [&] { return registry.stopping(); });
  }));
  registry.JoinAll();
  registry.RemoveWaker(key);
  int calls = 0;
  registry.AddWaker([&] { ++calls; });
  registry.RequestStop();
  EXPECT_EQ(calls, 1);
}

TEST(ThreadRegistryTest, FinishedThreadsAreReapedAndAnEscapingExceptionIsLoggedNotFatal) {
  ThreadRegistry registry;
  ::testing::internal::CaptureStderr();
  ASSERT_TRUE(registry.Start("thrower", [] { throw std::runtime_error("disk on fire"); }));
  for (int i = 0; i < 50; ++i) {
    ASSERT_TRUE(registry.Start("quick", [] {}));
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  // Only the threads still running (at most a few) stay registered.
  EXPECT_LT(registry.size(), 10u);
  registry.JoinAll();
  EXPECT_NE(::testing::internal::GetCapturedStderr().find("ERROR: uncaught exception in thrower: disk on fire\n"),
            std::string::npos);
}

}  // namespace
}  // namespace runner
