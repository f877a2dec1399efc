// Tests of the platform thread's task queue.
#include "flutter/engine/platform_thread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <cstdint>
#include <future>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace flutter::engine {
namespace {

TEST(PlatformThreadTest, TasksFromSeveralThreadsRunOneAtATimeOnOneThreadInPostingOrderPerPoster) {
  constexpr int kPosters = 4;
  constexpr int kTasksEach = 500;
  PlatformThread platform;
  std::vector<std::vector<int>> seen(kPosters);  // touched only on the platform thread
  std::atomic<int> running{0};
  std::atomic<bool> overlapped{false};
  std::atomic<bool> wrong_thread{false};
  std::vector<std::thread> posters;
  for (int p = 0; p < kPosters; ++p) {
    posters.emplace_back([&, p] {
      for (int i = 0; i < kTasksEach; ++i) {
        ASSERT_TRUE(platform.PostTask([&, p, i] {
          if (running.fetch_add(1) != 0) overlapped = true;
          if (!platform.RunsTasksOnCurrentThread()) wrong_thread = true;
          seen[p].push_back(i);
          running.fetch_sub(1);
        }));
      }
    });
  }
  for (auto& t : posters) t.join();
  platform.Shutdown();
  EXPECT_FALSE(overlapped);
  EXPECT_FALSE(wrong_thread);
  EXPECT_FALSE(platform.RunsTasksOnCurrentThread());
  for (int p = 0; p < kPosters; ++p) {
    ASSERT_EQ(seen[p].size(), size_t{kTasksEach});
    for (int i = 0; i < kTasksEach; ++i) ASSERT_EQ(seen[p][i], i);
  }
}

TEST(PlatformThreadTest, ShutdownRunsQueuedTasksThenRefusesNewOnes) {
  PlatformThread platform;
  std::promise<void> release;
  auto released = release.get_future().share();
  std::atomic<int> ran{0};
  ASSERT_TRUE(platform.PostTask([released] { released.wait(); }));
  for (int i = 0; i < 10; ++i) ASSERT_TRUE(platform.PostTask([&] { ++ran; }));
  std::thread closer([&] { platform.Shutdown(); });
  // Tasks posted while the queue drains are refused, and their captures are destroyed unrun.
  auto marker = std::make_shared<int>(0);
  while (platform.PostTask([marker] { ++*marker; })) {
    std::this_thread::yield();
  }
  release.set_value();
  closer.join();
  EXPECT_EQ(ran.load(), 10);
  EXPECT_FALSE(platform.PostTask([&] { ++ran; }));
  EXPECT_EQ(marker.use_count(), 1);
  platform.Shutdown();  // idempotent
}

// A task that runs a modal loop of its own (a dialog) keeps the queue served: tasks posted meanwhile run
// inside it, on the platform thread, and the loop learns that the thread is stopping.
TEST(PlatformThreadTest, AModalLoopServesTheQueueUntilShutdownBegins) {
  auto platform = std::make_unique<PlatformThread>();
  std::mutex mutex;
  std::condition_variable woken;
  int wakes = 0;
  std::promise<void> loop_running;
  std::promise<bool> nested_ran_inside;
  std::atomic<bool> inside_loop{false};
  std::atomic<bool> loop_ended_by_shutdown{false};
  ASSERT_TRUE(platform->PostTask([&] {
    PlatformThread* self = PlatformThread::Current();
    ASSERT_EQ(self, platform.get());
    self->SetModalWake([&] {
      std::lock_guard lock(mutex);
      ++wakes;
      woken.notify_all();
    });
    inside_loop = true;
    loop_running.set_value();
    for (;;) {
      {
        std::unique_lock lock(mutex);
        woken.wait(lock, [&] { return wakes > 0; });
        wakes = 0;
      }
      if (!self->RunQueued()) break;
    }
    self->SetModalWake({});
    inside_loop = false;
    loop_ended_by_shutdown = true;
  }));
  loop_running.get_future().wait();
  EXPECT_EQ(PlatformThread::Current(), nullptr);  // not the platform thread
  ASSERT_TRUE(platform->PostTask([&] { nested_ran_inside.set_value(inside_loop && platform->RunsTasksOnCurrentThread()); }));
  auto nested = nested_ran_inside.get_future();
  ASSERT_EQ(nested.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(nested.get());
  platform->Shutdown();  // returns only once the modal loop has ended
  EXPECT_TRUE(loop_ended_by_shutdown);
}

TEST(PlatformThreadTest, ThrowingTaskDoesNotStopTheQueue) {
  PlatformThread platform;
  std::promise<void> later_ran;
  platform.PostTask([] { throw std::runtime_error("boom"); });
  platform.PostTask([&] { later_ran.set_value(); });
  EXPECT_EQ(later_ran.get_future().wait_for(std::chrono::seconds(10)), std::future_status::ready);
}

}  // namespace
}  // namespace flutter::engine
