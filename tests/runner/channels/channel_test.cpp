// Tests of the channel dispatch's safety nets: an exception escaping a handler still answers the call;
// text that is not UTF-8 never reaches a handler and never leaves in an answer.
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

TEST(DispatchSafetyNet, CallsHoldingTextThatIsNotUtf8AreMalformedAndAnswersAreMended) {
  int handled = 0;
  const std::vector<MethodEntry> table = {
      {"echo", [&handled](const MethodCall& call, std::unique_ptr<MethodResult> result) {
         ++handled;
         result->Success(*call.arguments());
       }},
      {"systemText", [](const MethodCall&, std::unique_ptr<MethodResult> result) {
         // A printer's name read from the system in another encoding.
         result->Success(EncodableValue(EncodableList{EncodableValue(EncodableMap{
             {EncodableValue("name"), EncodableValue("B\xFCro")}, {EncodableValue("k\xE9y"), EncodableValue(1)}})}));
       }},
      {"systemError", [](const MethodCall&, std::unique_ptr<MethodResult> result) {
         result->Error("PRINTER_ERROR", "no \xFF here");
       }}};
  RecordingMessenger messenger;
  std::unique_ptr<Channel> strict, lenient;
  InstallChannel(&messenger, "strict", table, strict, [](const std::string& where, MethodResult& result) {
    result.Error("INVALID_ARGUMENTS", where);
  });
  InstallChannel(&messenger, "lenient", table, lenient);
  ::testing::internal::CaptureStderr();
  const EncodableValue deep(EncodableMap{
      {EncodableValue("fine"), EncodableValue("ok")},
      {EncodableValue("paths"), EncodableValue(EncodableList{EncodableValue("a.jpg"),
                                                             EncodableValue(EncodableMap{{EncodableValue("p"),
                                                                                          EncodableValue("\xC0\xAF")}})})}});
  auto in_map = messenger.Call("strict", "echo", std::make_unique<EncodableValue>(deep));
  auto in_key = messenger.Call("strict", "echo", std::make_unique<EncodableValue>(EncodableMap{{EncodableValue("k\xFF"), EncodableValue(1)}}));
  auto in_list = messenger.Call("strict", "echo", std::make_unique<EncodableValue>(EncodableList{EncodableValue("x"), EncodableValue("\x80")}));
  auto bare = messenger.Call("lenient", "echo", std::make_unique<EncodableValue>("\xED\xA0\x80"));
  auto fine = messenger.Call("strict", "echo", std::make_unique<EncodableValue>("caf\xC3\xA9"));
  auto mended = messenger.Call("lenient", "systemText");
  auto error = messenger.Call("lenient", "systemError");
  const std::string log = ::testing::internal::GetCapturedStderr();
  ASSERT_TRUE(in_map && in_key && in_list && bare && fine && mended && error);
  EXPECT_EQ(in_map->error_message, "key 'paths'");
  EXPECT_EQ(in_key->error_message, "key 'k\xEF\xBF\xBD'") << "the key itself made readable";
  EXPECT_EQ(in_list->error_message, "element 1");
  EXPECT_EQ(bare->kind, Answer::Kind::kSuccess);
  EXPECT_TRUE(bare->value.IsNull());
  EXPECT_EQ(handled, 1) << "only the well-formed call reached its handler";
  EXPECT_EQ(fine->value, EncodableValue("caf\xC3\xA9"));
  const EncodableValue expected(EncodableList{EncodableValue(EncodableMap{
      {EncodableValue("name"), EncodableValue("B\xEF\xBF\xBDro")}, {EncodableValue("k\xEF\xBF\xBDy"), EncodableValue(1)}})});
  EXPECT_EQ(mended->value, expected);
  EXPECT_EQ(error->error_message, "no \xEF\xBF\xBD here");
  EXPECT_NE(log.find("ERROR: echo refused: text that is not UTF-8 in key 'paths'"), std::string::npos) << log;
  EXPECT_NE(log.find("ERROR: the answer to systemText held text that is not UTF-8; it was mended"), std::string::npos)
      << log;
}

}  // namespace
}  // namespace runner
