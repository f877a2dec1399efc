// Tests of the process-wide pixel budget: refusal, waiting, the order of waiters, the way out of a
// standstill, the closing, and Bitmap pixels drawing on it through their allocator.
#include "imaging/memory_budget.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>

#include "imaging/bitmap.h"
#include "tests/support/waiting.h"

namespace imaging {
namespace {

using namespace std::chrono_literals;

constexpr uint64_t kMiB = uint64_t{1} << 20;

using test_support::Eventually;

TEST(MemoryBudgetTest, TheEnvironmentSetsTheSizeInMegabytesAndAnythingOddGivesOneGibibyte) {
  EXPECT_EQ(MemoryBudgetBytesFromEnvironment(nullptr), kDefaultMemoryBudgetBytes);
  EXPECT_EQ(kDefaultMemoryBudgetBytes, 1024 * kMiB);
  EXPECT_EQ(MemoryBudgetBytesFromEnvironment("256"), 256 * kMiB);
  for (const char* odd : {"", "abc", "12x", "-5", "1.5", "8", "99999999999999999999"}) {
    EXPECT_EQ(MemoryBudgetBytesFromEnvironment(odd), kDefaultMemoryBudgetBytes) << odd;
  }
}

TEST(MemoryBudgetTest, MoreThanTheWholeBudgetIsRefusedAtOnceAndWhatFitsIsCountedUntilGivenBack) {
  MemoryBudget budget(100);
  EXPECT_FALSE(budget.Take(101));
  EXPECT_TRUE(budget.Take(60));
  EXPECT_TRUE(budget.Take(40));
  EXPECT_EQ(budget.in_use_bytes(), 100u);
  budget.Give(100, std::this_thread::get_id());
  EXPECT_EQ(budget.in_use_bytes(), 0u);
  EXPECT_EQ(budget.peak_bytes(), 100u);
}

TEST(MemoryBudgetTest, ARequestThatDoesNotFitWaitsUntilEnoughIsGivenBack) {
  MemoryBudget budget(100);
  ASSERT_TRUE(budget.Take(80));
  std::atomic<bool> granted{false};
  std::thread other([&] {
    EXPECT_TRUE(budget.Take(50));
    granted = true;
    budget.Give(50, std::this_thread::get_id());
  });
  ASSERT_TRUE(Eventually([&] { return budget.waiting() == 1; }));
  std::this_thread::sleep_for(20ms);
  EXPECT_FALSE(granted);
  budget.Give(80, std::this_thread::get_id());
  other.join();
  EXPECT_TRUE(granted);
  EXPECT_LE(budget.peak_bytes(), 100u);
  EXPECT_EQ(budget.overdrafts(), 0u);
}

TEST(MemoryBudgetTest, ALargeWaitingRequestIsNotPassedOverBySmallOnesBehindIt) {
  MemoryBudget budget(100);
  ASSERT_TRUE(budget.Take(90));
  std::promise<void> large_granted;
  std::thread large([&] {
    EXPECT_TRUE(budget.Take(60));
    large_granted.set_value();
  });
  ASSERT_TRUE(Eventually([&] { return budget.waiting() == 1; }));
  std::atomic<bool> small_granted{false};
  std::thread small([&] {
    EXPECT_TRUE(budget.Take(5));  // fits in what is free, but arrived later
    small_granted = true;
  });
  ASSERT_TRUE(Eventually([&] { return budget.waiting() == 2; }));
  EXPECT_FALSE(small_granted);
  budget.Give(90, std::this_thread::get_id());
  large.join();
  small.join();
  EXPECT_TRUE(small_granted);
  EXPECT_EQ(budget.in_use_bytes(), 65u);
}

TEST(MemoryBudgetTest, WhenEveryHolderWaitsForMoreTheEarliestGoesOnAndNothingDeadlocks) {
  MemoryBudget budget(100);
  // Two operations each hold part of the budget and each need more than is left: neither could finish.
  std::promise<void> a_holds, b_holds;
  std::shared_future<void> both_hold = std::async(std::launch::async, [&] {
    a_holds.get_future().wait();
    b_holds.get_future().wait();
  }).share();
  auto operation = [&](std::promise<void>& holds) {
    EXPECT_TRUE(budget.Take(50));
    holds.set_value();
    both_hold.wait();
    EXPECT_TRUE(budget.Take(40));
    budget.Give(90, std::this_thread::get_id());
  };
  std::thread a(operation, std::ref(a_holds));
  std::thread b(operation, std::ref(b_holds));
  a.join();
  b.join();
  EXPECT_EQ(budget.in_use_bytes(), 0u);
  EXPECT_EQ(budget.overdrafts(), 1u);
  EXPECT_LE(budget.peak_bytes(), 140u);  // beyond the budget by one request at most
}

TEST(MemoryBudgetTest, AfterInterruptNothingWaitsAndWaitersAreRefused) {
  MemoryBudget budget(100);
  ASSERT_TRUE(budget.Take(100));
  std::atomic<int> refused{0};
  std::thread waiter([&] {
    if (!budget.Take(10)) ++refused;
  });
  ASSERT_TRUE(Eventually([&] { return budget.waiting() == 1; }));
  budget.Interrupt();
  waiter.join();
  EXPECT_EQ(refused, 1);
  EXPECT_FALSE(budget.Take(1));  // would wait: refused at once
  budget.Give(100, std::this_thread::get_id());
  EXPECT_TRUE(budget.Take(1));  // fits: still granted
}

TEST(MemoryBudgetTest, BitmapPixelsTakeTheirShareOnEveryCopyAndGiveItBackOnAnyThread) {
  MemoryBudget budget(64 * kMiB);
  std::optional<Bitmap> image = MakeBitmap(1024, 1024, 0xFF102030, &budget);
  ASSERT_TRUE(image);
  EXPECT_EQ(budget.in_use_bytes(), 4 * kMiB);
  {
    const Bitmap copy = *image;                   // a copy draws on the same budget
    const Bitmap turned = RotateClockwise(copy);  // and so does a turn
    EXPECT_EQ(budget.in_use_bytes(), 12 * kMiB);
    EXPECT_EQ(turned.rgba.get_allocator().budget(), &budget);
  }
  EXPECT_EQ(budget.in_use_bytes(), 4 * kMiB);
  std::thread([moved = std::move(*image)]() mutable { moved = Bitmap(); }).join();
  EXPECT_EQ(budget.in_use_bytes(), 0u);
  // More than the whole budget: no bitmap, nothing counted; a bitmap without a budget is not counted.
  EXPECT_FALSE(MakeBitmap(8192, 8192, 0, &budget));
  EXPECT_TRUE(MakeBitmap(16, 16));
  EXPECT_EQ(budget.in_use_bytes(), 0u);
}

TEST(MemoryBudgetTest, AHoldCountsForAsLongAsItLives) {
  MemoryBudget budget(100);
  {
    std::optional<MemoryHold> hold = MemoryHold::Take(&budget, 70);
    ASSERT_TRUE(hold);
    EXPECT_FALSE(MemoryHold::Take(&budget, 101));
    MemoryHold moved = std::move(*hold);
    EXPECT_EQ(budget.in_use_bytes(), 70u);
  }
  EXPECT_EQ(budget.in_use_bytes(), 0u);
  EXPECT_TRUE(MemoryHold::Take(nullptr, uint64_t{1} << 62));  // no budget: nothing counted
}

}  // namespace
}  // namespace imaging
