// Tests of the host's closing over fakes: the one line, waiting for work that finishes, and the forced
// end on a second stop or when nothing moves: helpers signalled, calls answered with their failure rows,
// threads that will not end left behind with the answer "not joined".
#include "runner/host/host_closing.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <thread>

#include "flutter/method_result_functions.h"
#include "runner/channels/pending_work.h"
#include "tests/runner/test_services.h"

namespace runner {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using flutter::engine::StopSignal;
using flutter::engine::WaitEnd;

// The transport's wait, without a transport: woken by `wake`, ended by `stop`.
WriteRepliesUntil WaitOn(const StopSignal& stop) {
  return [&stop](const StopSignal& wake, Clock::time_point deadline) {
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return WaitEnd::kDeadline;
      pollfd fds[2] = {{stop.fd(), POLLIN, 0}, {wake.fd(), POLLIN, 0}};
      if (::poll(fds, 2, static_cast<int>(left)) > 0) {
        if (fds[0].revents) return WaitEnd::kStopped;
        if (fds[1].revents) return WaitEnd::kWoken;
      }
    }
  };
}

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
      [add](const EncodableValue*) { add("success"); },
      [add](const std::string& code, const std::string& message, const EncodableValue*) { add(code + ": " + message); },
      nullptr);
}

class HostClosingTest : public ::testing::Test {
 protected:
  ~HostClosingTest() override { services_.threads.JoinAll(); }

  // A sheet job on a registry thread: it runs the fake helper and answers "success" when the helper ends.
  std::shared_ptr<Recorded> StartSheetJob() {
    auto recorded = std::make_shared<Recorded>();
    auto result = std::make_shared<std::unique_ptr<MethodResult>>(services_.pending.Track(
        "sheet job", RecordInto(recorded), [](MethodResult& r) { r.Error("GRID_ERROR", "stopped"); }));
    EXPECT_TRUE(services_.threads.Start("sheet job", [this, result] {
      services_.processes.Run("/app/mosalith", {"job.txt"});
      (*result)->Success();
    }));
    return recorded;
  }
  // The fake helper runs until `ends_on` (SIGTERM or SIGKILL) reaches it.
  void HelperEndsOn(int ends_on) {
    services_.processes.SetOnSignal([this, ends_on](int signal) {
      if (signal == ends_on) helper_end_.set_value();
    });
    services_.processes.SetBehaviour([this](const std::string&, const std::vector<std::string>&) {
      helper_ended_.wait();
      return platform::ExitedWith(128 + SIGTERM);
    });
  }

  testing::TestServices services_;
  StopSignal stop_;
  std::promise<void> helper_end_;
  std::shared_future<void> helper_ended_ = helper_end_.get_future().share();
};

TEST_F(HostClosingTest, WithNothingPendingItSaysSoAndJoinsAtOnce) {
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(CloseHost(services_.services, WaitOn(stop_)));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "INFO: Closing: no work to wait for\n");
}

TEST_F(HostClosingTest, RunningWorkIsWaitedForAndGivesItsOwnAnswer) {
  services_.processes.SetBehaviour([](const std::string&, const std::vector<std::string>&) {
    std::this_thread::sleep_for(200ms);
    return platform::ExitedWith(0);
  });
  auto job = StartSheetJob();
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(CloseHost(services_.services, WaitOn(stop_)));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(log, "INFO: Closing: waiting for 1 sheet job\n");
  EXPECT_EQ(job->copy(), (std::vector<std::string>{"success"}));
  EXPECT_TRUE(services_.processes.signals().empty());
  EXPECT_EQ(services_.spooler.cancel_requests(), 0);
}

TEST_F(HostClosingTest, AHelperThatKeepsReportingIsWaitedForPastTheLimit) {
  // The helper runs for three limits, printing a line every third of one.
  services_.processes.SetBehaviour([this](const std::string&, const std::vector<std::string>&) {
    for (int line = 0; line < 9; ++line) {
      std::this_thread::sleep_for(100ms);
      services_.processes.AddOutputBytes(20);
    }
    return platform::ExitedWith(0);
  });
  auto job = StartSheetJob();
  ClosingTimes times;
  times.no_progress = 300ms;
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(CloseHost(services_.services, WaitOn(stop_), times));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(log, "INFO: Closing: waiting for 1 sheet job\n");
  EXPECT_EQ(job->copy(), (std::vector<std::string>{"success"}));
  EXPECT_TRUE(services_.processes.signals().empty());
}

TEST_F(HostClosingTest, AHelperThatHangsButKeepsPrintingIsEndedOnceItsOutputStopsCounting) {
  HelperEndsOn(SIGTERM);
  std::atomic<bool> printing{true};
  std::thread chatter([this, &printing] {
    while (printing) {
      services_.processes.AddOutputBytes(20);
      std::this_thread::sleep_for(50ms);
    }
  });
  auto job = StartSheetJob();
  ClosingTimes times;
  times.no_progress = 300ms;
  times.helper_output_limit = 600ms;
  ::testing::internal::CaptureStderr();
  const auto start = Clock::now();
  EXPECT_TRUE(CloseHost(services_.services, WaitOn(stop_), times));
  const auto took = Clock::now() - start;
  printing = false;
  chatter.join();
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_GE(took, 600ms) << "its output counted at first";
  EXPECT_LT(took, 5s);
  EXPECT_NE(log.find("INFO: Closing now (no progress for 300 ms): ending 1 sheet job"), std::string::npos) << log;
  EXPECT_EQ(services_.processes.signals(), (std::vector<int>{SIGTERM}));
}

TEST_F(HostClosingTest, ASecondStopEndsHelpersAndAnswersTheFailureRowAtOnce) {
  HelperEndsOn(SIGTERM);
  auto job = StartSheetJob();
  ASSERT_TRUE(services_.pending.size() == 1);
  stop_.Notify();  // the second stop signal, already there when the wait begins
  ::testing::internal::CaptureStderr();
  const auto start = Clock::now();
  EXPECT_TRUE(CloseHost(services_.services, WaitOn(stop_)));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_NE(log.find("INFO: Closing now (a second stop signal): ending 1 sheet job\n"), std::string::npos) << log;
  EXPECT_EQ(job->copy(), (std::vector<std::string>{"GRID_ERROR: stopped"}));  // the job's own answer is dropped
  EXPECT_EQ(services_.processes.signals(), (std::vector<int>{SIGTERM}));
  EXPECT_EQ(services_.spooler.cancel_requests(), 1);
}

TEST_F(HostClosingTest, WhenNothingFinishesForTooLongAHelperIgnoringTermIsKilled) {
  HelperEndsOn(platform::FakeProcessRunner::kKillSignal);
  auto job = StartSheetJob();
  ClosingTimes times;
  times.no_progress = 300ms;
  times.kill_delay = 200ms;
  ::testing::internal::CaptureStderr();
  EXPECT_TRUE(CloseHost(services_.services, WaitOn(stop_), times));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("INFO: Closing now (no progress for 300 ms): ending 1 sheet job\n"), std::string::npos)
      << log;
  EXPECT_NE(log.find("INFO: Closing now: 1 helper programs still running after 200 ms; killed\n"), std::string::npos)
      << log;
  EXPECT_EQ(services_.processes.signals(), (std::vector<int>{SIGTERM, platform::FakeProcessRunner::kKillSignal}));
  EXPECT_EQ(job->copy(), (std::vector<std::string>{"GRID_ERROR: stopped"}));
}

TEST_F(HostClosingTest, AThreadThatWillNotEndIsLeftBehindAndSaidSo) {
  std::promise<void> release;
  std::shared_future<void> released = release.get_future().share();
  ASSERT_TRUE(services_.threads.Start("stuck", [released] { released.wait(); }));
  auto recorded = std::make_shared<Recorded>();
  auto call = services_.pending.Track("print job", RecordInto(recorded),
                                      [](MethodResult& r) { r.Error("PRINT_FAILED", "Failed to print any pages"); });
  ClosingTimes times;
  times.kill_delay = 50ms;
  times.exit_limit = 300ms;
  stop_.Notify();
  ::testing::internal::CaptureStderr();
  const auto start = Clock::now();
  EXPECT_FALSE(CloseHost(services_.services, WaitOn(stop_), times));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_NE(log.find("ERROR: Closing now: 1 background threads did not end in time"), std::string::npos) << log;
  EXPECT_EQ(recorded->copy(), (std::vector<std::string>{"PRINT_FAILED: Failed to print any pages"}));
  release.set_value();
}

}  // namespace
}  // namespace runner
