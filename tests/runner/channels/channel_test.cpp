// Tests of the channel dispatch's safety net: an exception escaping a handler still answers the call.
#include "runner/channels/channel.h"

#include <stdexcept>
#include <thread>

#include <gtest/gtest.h>

#include "tests/runner/recording_messenger.h"

namespace runner {
namespace {

using runner::testing::Answer;
using runner::testing::RecordingMessenger;

TEST(DispatchSafetyNet, AnExceptionBeforeTheAnswerIsAnsweredAsUnhandledWithItsText) {
  const std::vector<MethodEntry> table = {
      {"throwsStd", [](const MethodCall&, std::unique_ptr<MethodResult>) { throw std::runtime_error("disk on fire"); }},
      {"throwsInt", [](const MethodCall&, std::unique_ptr<MethodResult>) { throw 42; }},
      {"keepsThenThrows",
       [](const MethodCall&, std::unique_ptr<MethodResult> result) {
         std::unique_ptr<MethodResult> local = std::move(result);
         throw std::logic_error("late");
       }}};
  RecordingMessenger messenger;
  std::unique_ptr<Channel> slot;
  InstallChannel(&messenger, "test_channel", table, slot);
  ::testing::internal::CaptureStderr();
  auto a = messenger.Call("test_channel", "throwsStd");
  auto b = messenger.Call("test_channel", "throwsInt");
  auto c = messenger.Call("test_channel", "keepsThenThrows");
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(a->kind, Answer::Kind::kError);
  EXPECT_EQ(a->error_code, "UNHANDLED_EXCEPTION");
  EXPECT_EQ(a->error_message, "disk on fire");
  EXPECT_TRUE(a->value.IsNull());
  EXPECT_EQ(a->replies, 1);
  EXPECT_EQ(b->error_code, "UNHANDLED_EXCEPTION");
  EXPECT_EQ(b->replies, 1);
  EXPECT_EQ(c->error_message, "late");
  EXPECT_EQ(c->replies, 1);
  EXPECT_NE(log.find("ERROR: exception escaped the handler of throwsStd: disk on fire"), std::string::npos) << log;
  EXPECT_EQ(log.find("Failed to respond"), std::string::npos) << log;
}

TEST(DispatchSafetyNet, AnAnswerGivenBeforeTheThrowStandsAndALaterWorkerAnswerIsADuplicate) {
  std::unique_ptr<MethodResult> kept;
  const std::vector<MethodEntry> table = {
      {"answersThenThrows",
       [](const MethodCall&, std::unique_ptr<MethodResult> result) {
         result->Success(EncodableValue(int32_t{1}));
         throw std::runtime_error("after");
       }},
      {"handsOverThenThrows", [&kept](const MethodCall&, std::unique_ptr<MethodResult> result) {
         kept = std::move(result);
         throw std::runtime_error("mid-way");
       }}};
  RecordingMessenger messenger;
  std::unique_ptr<Channel> slot;
  InstallChannel(&messenger, "test_channel", table, slot);
  ::testing::internal::CaptureStderr();
  auto a = messenger.Call("test_channel", "answersThenThrows");
  auto b = messenger.Call("test_channel", "handsOverThenThrows");
  ASSERT_TRUE(a && b);
  EXPECT_EQ(a->kind, Answer::Kind::kSuccess);
  EXPECT_EQ(a->replies, 1);
  EXPECT_EQ(b->error_code, "UNHANDLED_EXCEPTION");
  EXPECT_EQ(b->error_message, "mid-way");
  // The work the handler started answers later from its own thread: ignored, with the duplicate line.
  std::thread([&kept] { kept->Success(EncodableValue("late")); }).join();
  kept.reset();
  const std::string log = ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(b->replies, 1);
  EXPECT_EQ(b->kind, Answer::Kind::kError);
  EXPECT_NE(log.find("Ignoring duplicate result."), std::string::npos) << log;
}

}  // namespace
}  // namespace runner
