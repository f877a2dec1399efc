// Tests for "detectFacesWindows" end to end through the face workers: argument rules, answers from the
// workers, a worker that cannot start, and the two-batch limit.
#include "runner/insight/insight_channels.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>

#include "flutter/method_result_functions.h"
#include "runner/insight/face_workers.h"
#include "tests/runner/recording_messenger.h"
#include "tests/runner/test_services.h"

namespace runner::insight {
namespace {

using runner::testing::Answer;
using namespace std::chrono_literals;

bool WaitFor(const std::function<bool()>& condition) {
  const auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(2ms);
  }
  return true;
}

// A result that answers into shared state any thread may read once `answers` says it was answered.
struct RecordedAnswer {
  std::mutex mutex;
  int answers = 0;
  std::optional<EncodableValue> value;

  int count() {
    std::lock_guard lock(mutex);
    return answers;
  }
  EncodableList list() {
    std::lock_guard lock(mutex);
    return value ? std::get<EncodableList>(*value) : EncodableList{};
  }
};

std::unique_ptr<MethodResult> Recording(const std::shared_ptr<RecordedAnswer>& answer) {
  return std::make_unique<flutter::MethodResultFunctions<EncodableValue>>(
      [answer](const EncodableValue* value) {
        std::lock_guard lock(answer->mutex);
        ++answer->answers;
        if (value) answer->value = *value;
      },
      nullptr, nullptr);
}

EncodableValue Paths(EncodableList paths) {
  return EncodableValue(EncodableMap{{EncodableValue("imagePaths"), EncodableValue(std::move(paths))}});
}

class FaceRectsChannelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services_.graphics.AddPicture("/p/a.jpg", *imaging::MakeBitmap(64, 48, 0xff000000));
    services_.face_detector.SetFaces(64, 48, {{4, 5, 6, 7}});
  }
  void Install() { SetupFaceRectsChannel(&messenger_, slot_, services_.services); }
  std::shared_ptr<const Answer> Ask(EncodableValue arguments) {
    return messenger_.Call("face_rects_channel", "detectFacesWindows",
                           std::make_unique<EncodableValue>(std::move(arguments)));
  }

  runner::testing::TestServices services_;
  runner::testing::RecordingMessenger messenger_;
  std::unique_ptr<Channel> slot_;
};

TEST_F(FaceRectsChannelTest, UnusableArgumentsAreAnsweredAtOnce) {
  Install();
  auto not_map = Ask(EncodableValue(EncodableList{}));
  auto no_key = Ask(EncodableValue(EncodableMap{}));
  auto not_list = Ask(EncodableValue(EncodableMap{{EncodableValue("imagePaths"), EncodableValue("/p/a.jpg")}}));
  EXPECT_TRUE(not_map->value.IsNull());
  EXPECT_EQ(not_map->kind, Answer::Kind::kSuccess);
  for (const auto& answer : {no_key, not_list}) {
    EXPECT_EQ(answer->kind, Answer::Kind::kSuccess);
    EXPECT_TRUE(std::get<EncodableList>(answer->value).empty());
  }
}

TEST_F(FaceRectsChannelTest, BatchIsAnsweredByItsWorkerWithOneRecordPerPathString) {
  Install();
  ::testing::internal::CaptureStderr();
  auto empty = Ask(Paths({}));
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_NE(log.find("FD: channel detectFacesWindows, paths=0\n"), std::string::npos);
  EXPECT_EQ(empty->replies, 1);
  EXPECT_TRUE(std::get<EncodableList>(empty->value).empty());

  auto answer = Ask(Paths({EncodableValue("/p/a.jpg"), EncodableValue(7), EncodableValue("/p/missing.jpg")}));
  EXPECT_EQ(answer->replies, 1);
  const auto& records = std::get<EncodableList>(answer->value);
  ASSERT_EQ(records.size(), 2u);
  const auto& first = std::get<EncodableMap>(records[0]);
  EXPECT_EQ(std::get<EncodableList>(first.at(EncodableValue("faces"))).size(), 1u);
  EXPECT_EQ(std::get<std::string>(std::get<EncodableMap>(records[1]).at(EncodableValue("debugInfo"))),
            "FD: file_open_failed");
}

class FaceWorkersTest : public ::testing::Test {
 protected:
  void SetUp() override {
    services_.graphics.AddPicture("/p/a.jpg", *imaging::MakeBitmap(64, 48, 0xff000000));
    services_.face_detector.SetFaces(64, 48, {{4, 5, 6, 7}});
  }
  std::shared_ptr<RecordedAnswer> Submit(FaceWorkers& workers, std::vector<std::string> paths) {
    auto answer = std::make_shared<RecordedAnswer>();
    workers.Submit(std::move(paths), Recording(answer));
    return answer;
  }

  runner::testing::TestServices services_;
};

TEST_F(FaceWorkersTest, WorkersKeepTheirDetectorAcrossBatches) {
  auto workers = FaceWorkers::Create(services_.services);
  for (int i = 0; i < 3; ++i) {
    auto answer = Submit(*workers, {"/p/a.jpg"});
    ASSERT_TRUE(WaitFor([&] { return answer->count() == 1; }));
  }
  EXPECT_EQ(services_.face_detector.detections_created(), 1);
}

TEST_F(FaceWorkersTest, AWorkerThatCannotStartAnswersAnEmptyList) {
  auto workers = FaceWorkers::Create(services_.services, [](std::string, std::function<void()>, std::string* error) {
    *error = "Resource temporarily unavailable";
    return false;
  });
  auto answer = Submit(*workers, {"/p/a.jpg"});
  EXPECT_EQ(answer->count(), 1);
  EXPECT_TRUE(answer->value && answer->list().empty());
  EXPECT_EQ(workers->workers(), 0);
}

TEST_F(FaceWorkersTest, AtMostTwoBatchesRunAtOnceAndEveryCallIsAnswered) {
  auto workers = FaceWorkers::Create(services_.services);
  services_.face_detector.Hold();
  std::vector<std::shared_ptr<RecordedAnswer>> answers;
  for (int i = 0; i < 20; ++i) answers.push_back(Submit(*workers, {"/p/a.jpg"}));
  ASSERT_TRUE(WaitFor([&] { return services_.face_detector.running_detections() == 2; }));
  std::this_thread::sleep_for(50ms);
  EXPECT_EQ(services_.face_detector.running_detections(), 2);
  EXPECT_EQ(workers->workers(), 2);
  services_.face_detector.Release();
  for (const auto& answer : answers) {
    ASSERT_TRUE(WaitFor([&] { return answer->count() == 1; }));
    EXPECT_EQ(answer->list().size(), 1u);
  }
  EXPECT_EQ(services_.face_detector.max_concurrent_detections(), 2);
  EXPECT_LE(services_.face_detector.detections_created(), 2);
}

TEST_F(FaceWorkersTest, IdleWorkersEndAfterTheirLingerAndNewOnesStartForLaterBatches) {
  auto workers = FaceWorkers::Create(services_.services);
  auto first = Submit(*workers, {"/p/a.jpg"});
  ASSERT_TRUE(WaitFor([&] { return first->count() == 1; }));
  services_.clock.Advance(kWorkerLinger - 1ms);
  std::this_thread::sleep_for(250ms);
  EXPECT_EQ(workers->workers(), 1);
  services_.clock.Advance(kWorkerLinger);  // a whole linger more, whenever the worker's idle time began
  ASSERT_TRUE(WaitFor([&] { return workers->workers() == 0; }));
  auto second = Submit(*workers, {"/p/a.jpg"});
  ASSERT_TRUE(WaitFor([&] { return second->count() == 1; }));
  EXPECT_EQ(second->list().size(), 1u);
  EXPECT_EQ(services_.face_detector.detections_created(), 2);
}

TEST_F(FaceWorkersTest, ClosingTheHostEndsIdleWorkers) {
  auto workers = FaceWorkers::Create(services_.services);
  auto answer = Submit(*workers, {"/p/a.jpg"});
  ASSERT_TRUE(WaitFor([&] { return answer->count() == 1; }));
  EXPECT_EQ(workers->workers(), 1);  // lingering with its detector
  const auto start = std::chrono::steady_clock::now();
  services_.threads.JoinAll();
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
  EXPECT_EQ(workers->workers(), 0);
}

}  // namespace
}  // namespace runner::insight
