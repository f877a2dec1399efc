// Tests of the host's work lanes and of the pending-work table: order, limits, refusal, cancelling on
// stop, lingering, and the failure answers of calls the host ends.
#include "runner/work_queue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "flutter/method_result_functions.h"
#include "platform/fake/fake_clock.h"
#include "runner/pending_work.h"
#include "runner/thread_registry.h"
#include "runner/work_lanes.h"
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

// A result recording its answers, safe to read from the test's thread.
struct Recorded {
  std::mutex mutex;
  std::vector<std::string> answers;
  std::vector<std::string> copy() {
    std::lock_guard lock(mutex);
    return answers;
  }
};

std::unique_ptr<MethodResult> RecordInto(const std::shared_ptr<Recorded>& recorded) {
  auto add = [recorded](std::string text) {
    std::lock_guard lock(recorded->mutex);
    recorded->answers.push_back(std::move(text));
  };
  return std::make_unique<flutter::MethodResultFunctions<EncodableValue>>(
      [add](const EncodableValue* value) {
        add(value && std::holds_alternative<std::string>(*value) ? std::get<std::string>(*value) : "success");
      },
      [add](const std::string& code, const std::string& message, const EncodableValue*) { add(code + ": " + message); },
      [add] { add("not implemented"); });
}

void FailAsGrid(MethodResult& result) { result.Error("GRID_ERROR", "stopped"); }

TEST(PendingWorkTest, SaysWhatIsPendingAndCountsWhatEnds) {
  PendingWork pending;
  std::atomic<int> changes{0};
  pending.SetListener([&changes] { ++changes; });
  auto a = std::make_shared<Recorded>(), b = std::make_shared<Recorded>(), c = std::make_shared<Recorded>();
  auto sheet = pending.Track("sheet job", RecordInto(a), FailAsGrid);
  auto preview1 = pending.Track("preview", RecordInto(b), FailAsGrid);
  auto preview2 = pending.Track("preview", RecordInto(c), FailAsGrid);
  std::shared_ptr<void> batch = pending.Begin("face batch");
  auto batch2 = pending.Begin("face batch");
  EXPECT_EQ(pending.Describe(), "1 sheet job, 2 previews, 2 face batches");
  EXPECT_EQ(pending.size(), 5u);
  preview1->Success(EncodableValue("made"));
  preview1->Success(EncodableValue("twice"));  // a second answer is dropped
  batch.reset();
  EXPECT_EQ(pending.Describe(), "1 sheet job, 1 preview, 1 face batch");
  EXPECT_EQ(pending.ended(), 2u);
  EXPECT_EQ(b->copy(), (std::vector<std::string>{"made"}));
  EXPECT_EQ(changes.load(), 7);  // five begun, two ended
  pending.SetListener(nullptr);
}

TEST(PendingWorkTest, EndAllAnswersOpenCallsWithTheirFailureRowOnceAndLateAnswersAreDropped) {
  PendingWork pending;
  auto a = std::make_shared<Recorded>(), b = std::make_shared<Recorded>();
  auto running = pending.Track("sheet job", RecordInto(a), FailAsGrid);
  auto answered = pending.Track("preview", RecordInto(b), [](MethodResult& r) { r.Success(); });
  answered->Success(EncodableValue("done"));
  auto job = pending.Begin("background sheet job");
  pending.EndAll();
  pending.EndAll();
  EXPECT_EQ(a->copy(), (std::vector<std::string>{"GRID_ERROR: stopped"}));
  EXPECT_EQ(b->copy(), (std::vector<std::string>{"done"}));
  running->Success(EncodableValue("too late"));
  EXPECT_EQ(a->copy(), (std::vector<std::string>{"GRID_ERROR: stopped"}));
  EXPECT_EQ(pending.Describe(), "1 background sheet job");  // a job without a call ends by itself
  job.reset();
  EXPECT_EQ(pending.size(), 0u);
}

TEST(PendingWorkTest, ACallReleasedUnansweredGetsItsFailureRowInsteadOfNoAnswer) {
  PendingWork pending;
  auto a = std::make_shared<Recorded>();
  pending.Track("print job", RecordInto(a), [](MethodResult& r) { r.Error("PRINT_FAILED", "Failed to print any pages"); });
  EXPECT_EQ(a->copy(), (std::vector<std::string>{"PRINT_FAILED: Failed to print any pages"}));
  EXPECT_EQ(pending.size(), 0u);
}

TEST(OnLaneTest, TheHandlerRunsOffTheCallingThreadWithACopyOfTheCallAndAFullLaneAnswersTheFailure) {
  platform::FakeClock clock;
  ThreadRegistry threads;
  PendingWork pending;
  WorkQueue lane("sheet job", 1, 1, &threads, &clock);
  Gate latch;
  std::atomic<bool> other_thread{false};
  const std::thread::id caller = std::this_thread::get_id();
  MethodHandler handler = OnLane(
      &lane, &pending, "sheet job", [](const MethodCall& call, MethodResult& r) { r.Error("GRID_ERROR", call.method_name()); },
      [&](const MethodCall& call, std::unique_ptr<MethodResult> result) {
        latch.Wait();
        other_thread = std::this_thread::get_id() != caller;
        result->Success(EncodableValue(std::get<std::string>(*call.arguments())));
      });
  std::vector<std::shared_ptr<Recorded>> answers;
  for (const char* argument : {"first", "second", "third"}) {
    answers.push_back(std::make_shared<Recorded>());
    auto call = std::make_unique<MethodCall>("createGridImages", std::make_unique<EncodableValue>(argument));
    handler(*call, RecordInto(answers.back()));
    call.reset();  // the work keeps its own copy of the arguments
    if (answers.size() == 1) {
      ASSERT_TRUE(Eventually([&] { return lane.running() == 1; }));
    }
  }
  // One runs, one waits, the third finds no room and is answered at once.
  EXPECT_EQ(answers[2]->copy(), (std::vector<std::string>{"GRID_ERROR: createGridImages"}));
  EXPECT_EQ(pending.Describe(), "2 sheet jobs");
  latch.Open();
  ASSERT_TRUE(Eventually([&] { return pending.size() == 0; }));
  EXPECT_EQ(answers[0]->copy(), (std::vector<std::string>{"first"}));
  EXPECT_EQ(answers[1]->copy(), (std::vector<std::string>{"second"}));
  EXPECT_TRUE(other_thread);
  threads.JoinAll();
}

}  // namespace
}  // namespace runner
