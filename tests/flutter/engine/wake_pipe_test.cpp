// Tests of the wake-up pipe: counted notifications for stops, one byte per burst for replies, and no
// wake-up lost while the loop clears.
#include "flutter/engine/wake_pipe.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <thread>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace flutter::engine {
namespace {

bool Readable(const WakePipe& pipe) {
  pollfd fd{pipe.fd(), POLLIN, 0};
  return ::poll(&fd, 1, 0) == 1;
}

size_t PendingBytes(const WakePipe& pipe) {
  int bytes = 0;
  return ::ioctl(pipe.fd(), FIONREAD, &bytes) == 0 ? static_cast<size_t>(bytes) : SIZE_MAX;
}

TEST(WakePipeTest, EachNotifyCountsUntilTakenAndClearForgetsThemAll) {
  WakePipe pipe;
  EXPECT_FALSE(Readable(pipe));
  pipe.Notify();
  pipe.Notify();
  pipe.TakeOne();
  EXPECT_TRUE(Readable(pipe)) << "the second notification is still pending";
  pipe.TakeOne();
  EXPECT_FALSE(Readable(pipe));
  pipe.TakeOne();  // nothing to take: returns at once
  pipe.Notify();
  pipe.Notify();
  pipe.Clear();
  EXPECT_FALSE(Readable(pipe));
}

TEST(WakePipeTest, NotifyOnceWritesOneByteUntilClearedThenWakesAgain) {
  WakePipe pipe;
  for (int i = 0; i < 1000; ++i) pipe.NotifyOnce();
  EXPECT_EQ(PendingBytes(pipe), 1u);
  pipe.Clear();
  EXPECT_FALSE(Readable(pipe));
  pipe.NotifyOnce();
  EXPECT_TRUE(Readable(pipe));
}

TEST(WakePipeTest, NotifyKeepsErrnoAndAFullPipeStillWakes) {
  WakePipe pipe;
  // Far more than a pipe holds: the writes that find it full fail quietly, and it stays readable.
  for (int i = 0; i < 70000; ++i) {
    errno = EINTR;
    pipe.Notify();
    ASSERT_EQ(errno, EINTR);
  }
  EXPECT_TRUE(Readable(pipe));
  pipe.Clear();
  EXPECT_FALSE(Readable(pipe));
}

TEST(WakePipeTest, NoNotifyOnceIsLostWhileTheLoopClearsConcurrently) {
  WakePipe wakeup;
  constexpr int kNotifies = 100000;
  std::atomic<int> produced{0};
  std::thread producer([&] {
    for (int i = 0; i < kNotifies; ++i) {
      produced.fetch_add(1);
      wakeup.NotifyOnce();
      // Paced like answers from a platform thread, so Notify keeps landing inside the loop's Clear.
      const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(2);
      while (std::chrono::steady_clock::now() < until) {
      }
    }
  });
  int seen = 0;
  bool lost = false;
  while (seen < kNotifies) {
    pollfd fd{wakeup.fd(), POLLIN, 0};
    if (::poll(&fd, 1, 2000) == 0) {
      lost = produced.load() > seen;  // changes were made but nobody woke the loop
      break;
    }
    wakeup.Clear();
    seen = produced.load();
  }
  producer.join();
  EXPECT_FALSE(lost) << "stuck after " << seen << " of " << kNotifies;
}

}  // namespace
}  // namespace flutter::engine
