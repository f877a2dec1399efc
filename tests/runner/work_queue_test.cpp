// Tests of the host's work lanes: order, limits, refusal, cancelling on stop, lingering.
#include "runner/work_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/fake/fake_clock.h"
#include "runner/thread_registry.h"
#include "tests/support/waiting.h"

namespace runner {
namespace {

using namespace std::chrono_literals;

using test_support::Eventually;
using test_support::Gate;

class WorkQueueTest : public ::testing::Test {
 protected:
  ~WorkQueueTest() override {
    latch_.Open();
    threads_.JoinAll();
  }

  WorkQueue::Task Recorder(int id) {
    return {[this, id] {
              latch_.Wait();
              std::lock_guard lock(mutex_);
              ran_.push_back(id);
            },
            [this, id] {
              std::lock_guard lock(mutex_);
              cancelled_.push_back(id);
            }};
  }
  std::vector<int> ran() {
    std::lock_guard lock(mutex_);
    return ran_;
  }
  std::vector<int> cancelled() {
    std::lock_guard lock(mutex_);
    return cancelled_;
  }

  platform::FakeClock clock_;
  ThreadRegistry threads_;
  Gate latch_;
  std::mutex mutex_;
  std::vector<int> ran_;
  std::vector<int> cancelled_;
};

TEST_F(WorkQueueTest, AtMostItsWorkersRunAndTheRestRunInTheOrderTheyCame) {
  WorkQueue lane("test", 1, 100, &threads_, &clock_);
  for (int i = 0; i < 6; ++i) ASSERT_TRUE(lane.Submit(Recorder(i)));
  ASSERT_TRUE(Eventually([&] { return lane.running() == 1; }));
  EXPECT_EQ(lane.waiting(), 5u);
  EXPECT_EQ(lane.workers(), 1);
  latch_.Open();
  ASSERT_TRUE(Eventually([&] { return ran().size() == 6; }));
  EXPECT_EQ(ran(), (std::vector<int>{0, 1, 2, 3, 4, 5}));

  WorkQueue pair("pair", 2, 100, &threads_, &clock_);
  std::atomic<int> inside{0}, most{0};
  Gate both;
  for (int i = 0; i < 6; ++i) {
    ASSERT_TRUE(pair.Submit({[&] {
                               const int now = ++inside;
                               int seen = most.load();
                               while (now > seen && !most.compare_exchange_weak(seen, now)) {
                               }
                               if (now == 2) both.Open();
                               both.Wait();
                               --inside;
                             },
                             nullptr}));
  }
  ASSERT_TRUE(Eventually([&] { return pair.running() == 0 && pair.waiting() == 0; }));
  EXPECT_EQ(most.load(), 2);
  EXPECT_EQ(pair.workers(), 2);
}

TEST_F(WorkQueueTest, AFullLaneRefusesAndSaysWhyWhileTheOthersGoOn) {
  WorkQueue lane("preview", 1, 2, &threads_, &clock_);
  ASSERT_TRUE(lane.Submit(Recorder(0)));
  ASSERT_TRUE(Eventually([&] { return lane.running() == 1; }));
  ASSERT_TRUE(lane.Submit(Recorder(1)));
  ASSERT_TRUE(lane.Submit(Recorder(2)));
  std::string error;
  EXPECT_FALSE(lane.Submit(Recorder(3), &error));
  EXPECT_EQ(error, "2 preview tasks already wait");
  latch_.Open();
  ASSERT_TRUE(Eventually([&] { return ran().size() == 3; }));
  EXPECT_TRUE(cancelled().empty());  // refused, not cancelled: the caller answers for it
}

TEST_F(WorkQueueTest, AFullLaneWithAListenerTakesTheTaskAndHoldsTheReadsUntilItHasRoomAgain) {
  std::atomic<bool> held{false};  // what the host's read gate would be told
  WorkQueue lane("preview", 1, 2, &threads_, &clock_);
  lane.HoldReadsWhenFull([&held](bool full) { held = full; });
  ASSERT_TRUE(lane.Submit(Recorder(0)));
  ASSERT_TRUE(Eventually([&] { return lane.running() == 1; }));
  ASSERT_TRUE(lane.Submit(Recorder(1)));
  EXPECT_FALSE(held.load());
  ASSERT_TRUE(lane.Submit(Recorder(2)));
  EXPECT_TRUE(held.load()) << "two wait: the transports stop reading";
  ASSERT_TRUE(lane.Submit(Recorder(3))) << "what was read meanwhile still finds a place";
  latch_.Open();
  ASSERT_TRUE(Eventually([&] { return ran().size() == 4; }));
  EXPECT_FALSE(held.load());
  // Cancelling what waits gives the gate back too.
  WorkQueue stuck("preview", 1, 1, &threads_, &clock_, WorkQueue::kDefaultLinger,
                  [](std::string, std::function<void()>, std::string*) { return true; });  // workers never run
  stuck.HoldReadsWhenFull([&held](bool full) { held = full; });
  ASSERT_TRUE(stuck.Submit(Recorder(4)));
  EXPECT_TRUE(held.load());
  stuck.CancelWaiting();
  EXPECT_FALSE(held.load());
  EXPECT_EQ(cancelled(), (std::vector<int>{4}));
}

TEST_F(WorkQueueTest, WhenNoWorkerCanStartTheTaskIsRefused) {
  WorkQueue lane("test", 2, 10, &threads_, &clock_, WorkQueue::kDefaultLinger,
                 [](std::string, std::function<void()>, std::string* error) {
                   *error = "Resource temporarily unavailable";
                   return false;
                 });
  std::string error;
  EXPECT_FALSE(lane.Submit(Recorder(0), &error));
  EXPECT_EQ(error, "Resource temporarily unavailable");
  EXPECT_EQ(lane.waiting(), 0u);
  EXPECT_EQ(lane.workers(), 0);
}

TEST_F(WorkQueueTest, OnStopTasksNotStartedAreCancelledAndTheRunningOneFinishes) {
  WorkQueue lane("test", 1, 100, &threads_, &clock_);
  for (int i = 0; i < 4; ++i) ASSERT_TRUE(lane.Submit(Recorder(i)));
  ASSERT_TRUE(Eventually([&] { return lane.running() == 1; }));
  threads_.RequestStop();
  latch_.Open();
  ASSERT_TRUE(Eventually([&] { return lane.workers() == 0; }));
  EXPECT_EQ(ran(), (std::vector<int>{0}));
  EXPECT_EQ(cancelled(), (std::vector<int>{1, 2, 3}));
  threads_.JoinAll();
}

TEST_F(WorkQueueTest, IdleWorkersLeaveAfterTheLingerAndComeBackForNewWork) {
  WorkQueue lane("test", 1, 100, &threads_, &clock_, 1000ms);
  latch_.Open();
  ASSERT_TRUE(lane.Submit(Recorder(0)));
  ASSERT_TRUE(Eventually([&] { return ran().size() == 1; }));
  std::this_thread::sleep_for(150ms);
  EXPECT_EQ(lane.workers(), 1);
  clock_.Advance(2000ms);
  ASSERT_TRUE(Eventually([&] { return lane.workers() == 0; }));
  ASSERT_TRUE(lane.Submit(Recorder(1)));
  ASSERT_TRUE(Eventually([&] { return ran().size() == 2; }));
}

}  // namespace
}  // namespace runner
