// Tests for MethodChannel dispatch over a fake messenger.
#include "flutter/method_channel.h"

#include <gtest/gtest.h>

#include "tests/flutter/stderr_capture.h"

#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "flutter/method_result_functions.h"
#include "flutter/standard_method_codec.h"

namespace flutter {
namespace {

const char kChannel[] = "thumbnail_channel";

// Keeps handlers per channel; Send delivers straight to the handler (or replies empty when none).
class FakeMessenger : public BinaryMessenger {
 public:
  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            BinaryReply reply) const override {
    sent.emplace_back(message, message + message_size);
    auto found = handlers.find(channel);
    if (found == handlers.end()) {
      if (reply) reply(nullptr, 0);
      return;
    }
    found->second(message, message_size, std::move(reply));
  }

  void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) override {
    if (handler) {
      handlers[channel] = std::move(handler);
    } else {
      handlers.erase(channel);
    }
  }

  // Delivers raw bytes as if they came from the other side; returns every reply given.
  std::vector<std::vector<uint8_t>> Deliver(const std::string& channel, const std::vector<uint8_t>& message) {
    std::vector<std::vector<uint8_t>> replies;
    handlers.at(channel)(message.data(), message.size(),
                         [&replies](const uint8_t* reply, size_t size) { replies.emplace_back(reply, reply + size); });
    return replies;
  }

  std::map<std::string, BinaryMessageHandler> handlers;
  mutable std::vector<std::vector<uint8_t>> sent;
};

class MethodChannelTest : public ::testing::Test {
 protected:

  const StandardMethodCodec& codec_ = StandardMethodCodec::GetInstance();
  FakeMessenger messenger_;
  testing::StderrCapture captured_;
};

TEST_F(MethodChannelTest, HandlerReceivesDecodedCallAndItsAnswerGoesBack) {
  MethodChannel<> channel(&messenger_, kChannel, &codec_);
  std::string seen_method;
  EncodableValue seen_arguments;
  channel.SetMethodCallHandler([&](const MethodCall<>& call, std::unique_ptr<MethodResult<>> result) {
    seen_method = call.method_name();
    seen_arguments = *call.arguments();
    if (call.method_name() == "getThumbnail") {
      result->Success(EncodableValue(std::vector<uint8_t>{1, 2}));
    } else {
      result->NotImplemented();
    }
  });

  EncodableValue arguments(EncodableMap{{EncodableValue("path"), EncodableValue("/p.jpg")}});
  auto replies = messenger_.Deliver(
      kChannel, *codec_.EncodeMethodCall(MethodCall<>("getThumbnail", std::make_unique<EncodableValue>(arguments))));
  EXPECT_EQ(seen_method, "getThumbnail");
  EXPECT_EQ(seen_arguments, arguments);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_EQ(replies[0], (std::vector<uint8_t>{0x00, 0x08, 0x02, 1, 2}));

  replies = messenger_.Deliver(kChannel, *codec_.EncodeMethodCall(MethodCall<>("getthumbnail", nullptr)));
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_TRUE(replies[0].empty());
  EXPECT_EQ(captured_.str(), "");
}

TEST_F(MethodChannelTest, UndecodableCallIsAnsweredNotImplementedWithALine) {
  MethodChannel<> channel(&messenger_, kChannel, &codec_);
  bool handler_ran = false;
  channel.SetMethodCallHandler(
      [&](const MethodCall<>&, std::unique_ptr<MethodResult<>> result) {
        handler_ran = true;
        result->Success();
      });
  auto replies = messenger_.Deliver(kChannel, {0x03, 1, 0, 0, 0, 0x00});  // name is an int32
  EXPECT_FALSE(handler_ran);
  ASSERT_EQ(replies.size(), 1u);
  EXPECT_TRUE(replies[0].empty());
  EXPECT_EQ(captured_.str(), "Unable to construct method call from message on channel thumbnail_channel\n");
}

TEST_F(MethodChannelTest, HandlerMayKeepTheResultAndAnswerLater) {
  MethodChannel<> channel(&messenger_, kChannel, &codec_);
  std::unique_ptr<MethodResult<>> pending;
  channel.SetMethodCallHandler(
      [&](const MethodCall<>&, std::unique_ptr<MethodResult<>> result) { pending = std::move(result); });
  auto replies = messenger_.Deliver(kChannel, *codec_.EncodeMethodCall(MethodCall<>("detect", nullptr)));
  EXPECT_TRUE(replies.empty());
  ASSERT_TRUE(pending);
  pending->Error("E", "late");
  pending.reset();
  EXPECT_EQ(captured_.str(), "");
}

TEST_F(MethodChannelTest, NullHandlerRemovesTheChannel) {
  MethodChannel<> channel(&messenger_, kChannel, &codec_);
  channel.SetMethodCallHandler([](const MethodCall<>&, std::unique_ptr<MethodResult<>> r) { r->Success(); });
  EXPECT_EQ(messenger_.handlers.count(kChannel), 1u);
  channel.SetMethodCallHandler(nullptr);
  EXPECT_EQ(messenger_.handlers.count(kChannel), 0u);
}

TEST_F(MethodChannelTest, InvokeMethodDeliversTheReplyToTheResult) {
  MethodChannel<> channel(&messenger_, kChannel, &codec_);
  channel.SetMethodCallHandler([](const MethodCall<>& call, std::unique_ptr<MethodResult<>> result) {
    if (call.method_name() == "echo") {
      result->Success(*call.arguments());
    } else if (call.method_name() == "fail") {
      result->Error("CODE", "message", EncodableValue(5));
    } else {
      result->NotImplemented();
    }
  });

  std::vector<std::string> heard;
  auto recorder = [&heard] {
    return std::make_unique<MethodResultFunctions<>>(
        [&heard](const EncodableValue* value) { heard.push_back("success " + std::get<std::string>(*value)); },
        [&heard](const std::string& code, const std::string& message, const EncodableValue* details) {
          heard.push_back("error " + code + " " + message + " " + std::to_string(std::get<int32_t>(*details)));
        },
        [&heard] { heard.push_back("notImplemented"); });
  };
  channel.InvokeMethod("echo", std::make_unique<EncodableValue>("hi"), recorder());
  channel.InvokeMethod("fail", nullptr, recorder());
  channel.InvokeMethod("other", nullptr, recorder());
  MethodChannel<> unhandled(&messenger_, "nobody_listens", &codec_);
  unhandled.InvokeMethod("x", nullptr, recorder());
  unhandled.InvokeMethod("no_result_wanted", nullptr);

  EXPECT_EQ(heard, (std::vector<std::string>{"success hi", "error CODE message 5", "notImplemented",
                                             "notImplemented"}));
  EXPECT_EQ(messenger_.sent.size(), 5u);
  EXPECT_EQ(messenger_.sent.back(), *codec_.EncodeMethodCall(MethodCall<>("no_result_wanted", nullptr)));
}

TEST_F(MethodChannelTest, GarbledReplyToAnInvocationIsNotImplemented) {
  messenger_.SetMessageHandler(kChannel, [](const uint8_t*, size_t, BinaryReply reply) {
    const uint8_t garbage[] = {0x05, 0x05};
    reply(garbage, sizeof garbage);
  });
  MethodChannel<> channel(&messenger_, kChannel, &codec_);
  int not_implemented = 0;
  channel.InvokeMethod("m", nullptr,
                       std::make_unique<MethodResultFunctions<>>(nullptr, nullptr, [&] { ++not_implemented; }));
  EXPECT_EQ(not_implemented, 1);
  EXPECT_EQ(captured_.str(), "Unable to decode reply to method invocation on channel thumbnail_channel\n");
}

TEST_F(MethodChannelTest, UnwritableArgumentsAreNotSent) {
  MethodChannel<> channel(&messenger_, kChannel, &codec_);
  int not_implemented = 0;
  channel.InvokeMethod("m", std::make_unique<EncodableValue>(CustomEncodableValue(1)),
                       std::make_unique<MethodResultFunctions<>>(nullptr, nullptr, [&] { ++not_implemented; }));
  EXPECT_TRUE(messenger_.sent.empty());
  EXPECT_EQ(not_implemented, 1);
}

}  // namespace
}  // namespace flutter
