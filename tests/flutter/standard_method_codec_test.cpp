// Tests for the standard method codec: method calls and reply envelopes, golden bytes and bad input.
#include "flutter/standard_method_codec.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "flutter/method_result_functions.h"

namespace flutter {
namespace {

const StandardMethodCodec& Codec() { return StandardMethodCodec::GetInstance(); }

// What a MethodResult heard, for checking envelope decoding.
struct Heard {
  int answers = 0;
  std::string kind;  // "success", "error", "notImplemented"
  std::optional<EncodableValue> value;  // result or details, when given
  std::string code;
  std::string message;
};

std::unique_ptr<MethodResultFunctions<>> Recorder(Heard* heard) {
  return std::make_unique<MethodResultFunctions<>>(
      [heard](const EncodableValue* result) {
        ++heard->answers;
        heard->kind = "success";
        if (result) heard->value = *result;
      },
      [heard](const std::string& code, const std::string& message, const EncodableValue* details) {
        ++heard->answers;
        heard->kind = "error";
        heard->code = code;
        heard->message = message;
        if (details) heard->value = *details;
      },
      [heard] {
        ++heard->answers;
        heard->kind = "notImplemented";
      });
}

bool Process(const std::vector<uint8_t>& envelope, Heard* heard) {
  auto result = Recorder(heard);
  return Codec().DecodeAndProcessResponseEnvelope(envelope.data(), envelope.size(), result.get());
}

TEST(StandardMethodCodecTest, GetInstanceIsShared) {
  EXPECT_EQ(&StandardMethodCodec::GetInstance(), &StandardMethodCodec::GetInstance(nullptr));
}

TEST(StandardMethodCodecTest, MethodCallIsNameThenArguments) {
  MethodCall<> call("hello", std::make_unique<EncodableValue>(EncodableList{EncodableValue(42), EncodableValue("w")}));
  auto encoded = Codec().EncodeMethodCall(call);
  ASSERT_TRUE(encoded);
  EXPECT_EQ(*encoded, (std::vector<uint8_t>{0x07, 0x05, 'h', 'e', 'l', 'l', 'o', 0x0c, 0x02, 0x03, 42, 0, 0, 0,
                                            0x07, 0x01, 'w'}));
  auto decoded = Codec().DecodeMethodCall(*encoded);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->method_name(), "hello");
  ASSERT_TRUE(decoded->arguments());
  EXPECT_EQ(*decoded->arguments(), *call.arguments());

  // No arguments travel as null and come back as a null value.
  MethodCall<> bare("go", nullptr);
  encoded = Codec().EncodeMethodCall(bare);
  ASSERT_TRUE(encoded);
  EXPECT_EQ(*encoded, (std::vector<uint8_t>{0x07, 0x02, 'g', 'o', 0x00}));
  decoded = Codec().DecodeMethodCall(*encoded);
  ASSERT_TRUE(decoded && decoded->arguments());
  EXPECT_TRUE(decoded->arguments()->IsNull());
}

TEST(StandardMethodCodecTest, ArgumentAlignmentCountsTheMethodName) {
  MethodCall<> call("ab", std::make_unique<EncodableValue>(0.5));
  auto encoded = Codec().EncodeMethodCall(call);
  ASSERT_TRUE(encoded);
  EXPECT_EQ(*encoded, (std::vector<uint8_t>{0x07, 0x02, 'a', 'b', 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xe0, 0x3f}));
  auto decoded = Codec().DecodeMethodCall(*encoded);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded->arguments(), EncodableValue(0.5));
}

TEST(StandardMethodCodecTest, EnvelopesHaveTheirPublishedBytes) {
  EXPECT_EQ(*Codec().EncodeSuccessEnvelope(), (std::vector<uint8_t>{0x00, 0x00}));
  EncodableValue answer(42);
  EXPECT_EQ(*Codec().EncodeSuccessEnvelope(&answer), (std::vector<uint8_t>{0x00, 0x03, 0x2a, 0x00, 0x00, 0x00}));
  EXPECT_EQ(*Codec().EncodeErrorEnvelope("errorCode"),
            (std::vector<uint8_t>{0x01, 0x07, 0x09, 'e', 'r', 'r', 'o', 'r', 'C', 'o', 'd', 'e', 0x00, 0x00}));
  EncodableValue details(EncodableList{EncodableValue("a"), EncodableValue(42)});
  EXPECT_EQ(*Codec().EncodeErrorEnvelope("errorCode", "something failed", &details),
            (std::vector<uint8_t>{0x01, 0x07, 0x09, 0x65, 0x72, 0x72, 0x6f, 0x72, 0x43, 0x6f, 0x64, 0x65, 0x07, 0x10,
                                  0x73, 0x6f, 0x6d, 0x65, 0x74, 0x68, 0x69, 0x6e, 0x67, 0x20, 0x66, 0x61, 0x69, 0x6c,
                                  0x65, 0x64, 0x0c, 0x02, 0x07, 0x01, 0x61, 0x03, 0x2a, 0x00, 0x00, 0x00}));
  // Alignment in an envelope counts the flag byte.
  EncodableValue half(0.5);
  EXPECT_EQ(*Codec().EncodeSuccessEnvelope(&half),
            (std::vector<uint8_t>{0x00, 0x06, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xe0, 0x3f}));
}

TEST(StandardMethodCodecTest, EnvelopesAreDecodedIntoOneAnswer) {
  Heard success;
  EncodableValue answer(EncodableMap{{EncodableValue("ok"), EncodableValue(true)}});
  EXPECT_TRUE(Process(*Codec().EncodeSuccessEnvelope(&answer), &success));
  EXPECT_EQ(success.answers, 1);
  EXPECT_EQ(success.kind, "success");
  EXPECT_EQ(success.value, answer);

  Heard null_success;
  EXPECT_TRUE(Process(*Codec().EncodeSuccessEnvelope(), &null_success));
  EXPECT_EQ(null_success.kind, "success");
  EXPECT_FALSE(null_success.value);  // a null result is reported as no value

  Heard bare_error;
  EXPECT_TRUE(Process(*Codec().EncodeErrorEnvelope("INVALID_ARGUMENTS"), &bare_error));
  EXPECT_EQ(bare_error.kind, "error");
  EXPECT_EQ(bare_error.code, "INVALID_ARGUMENTS");
  EXPECT_EQ(bare_error.message, "");
  EXPECT_FALSE(bare_error.value);

  Heard full_error;
  EncodableValue details(7);
  EXPECT_TRUE(Process(*Codec().EncodeErrorEnvelope("E", "went wrong", &details), &full_error));
  EXPECT_EQ(full_error.message, "went wrong");
  EXPECT_EQ(full_error.value, details);

  // Some senders add a stack trace after the details.
  Heard traced;
  std::vector<uint8_t> with_trace = *Codec().EncodeErrorEnvelope("E", "m");
  with_trace.insert(with_trace.end(), {0x07, 0x02, 'a', 't'});
  EXPECT_TRUE(Process(with_trace, &traced));
  EXPECT_EQ(traced.code, "E");

  Heard not_implemented;
  EXPECT_TRUE(Codec().DecodeAndProcessResponseEnvelope(nullptr, 0, Recorder(&not_implemented).get()));
  EXPECT_EQ(not_implemented.kind, "notImplemented");
}

TEST(StandardMethodCodecTest, MalformedEnvelopesFailWithoutAnswering) {
  const std::vector<std::vector<uint8_t>> envelopes = {
      {0x02, 0x00},                                      // unknown flag
      {0x00},                                            // success without a value
      {0x00, 0x00, 0x00},                                // trailing byte
      {0x01, 0x03, 1, 0, 0, 0, 0x00, 0x00},              // code is not a string
      {0x01, 0x07, 0x01, 'E', 0x03, 1, 0, 0, 0, 0x00},   // message is not a string
      {0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x03, 1, 0, 0, 0},  // stack trace is not a string
      {0x01, 0x07, 0x01, 'E', 0x00, 0x00, 0x00, 0x00},   // something after the stack trace
      {0x00, 0x0f},                                      // unknown type
  };
  for (const auto& envelope : envelopes) {
    Heard heard;
    EXPECT_FALSE(Process(envelope, &heard));
    EXPECT_EQ(heard.answers, 0);
  }
  std::vector<uint8_t> valid = *Codec().EncodeErrorEnvelope("CODE", "message", nullptr);
  for (size_t length = 1; length < valid.size(); ++length) {
    Heard heard;
    EXPECT_FALSE(Process(std::vector<uint8_t>(valid.begin(), valid.begin() + length), &heard)) << length;
    EXPECT_EQ(heard.answers, 0);
  }
}

TEST(StandardMethodCodecTest, MalformedMethodCallsFail) {
  auto valid = *Codec().EncodeMethodCall(MethodCall<>(
      "getThumbnail", std::make_unique<EncodableValue>(EncodableMap{{EncodableValue("path"), EncodableValue("/x")}})));
  for (size_t length = 0; length < valid.size(); ++length) {
    ASSERT_EQ(Codec().DecodeMethodCall(valid.data(), length), nullptr) << length;
  }
  std::vector<uint8_t> trailing = valid;
  trailing.push_back(0x00);
  EXPECT_EQ(Codec().DecodeMethodCall(trailing), nullptr);
  // The method name must be a string.
  EXPECT_EQ(Codec().DecodeMethodCall(std::vector<uint8_t>{0x03, 1, 0, 0, 0, 0x00}), nullptr);
  EXPECT_EQ(Codec().DecodeMethodCall(std::vector<uint8_t>{0x00, 0x00}), nullptr);
  // Arguments beyond the nesting limit.
  std::vector<uint8_t> deep = {0x07, 0x01, 'm'};
  for (int i = 0; i < 10'000; ++i) deep.insert(deep.end(), {0x0c, 0x01});
  deep.push_back(0x00);
  EXPECT_EQ(Codec().DecodeMethodCall(deep), nullptr);
}

TEST(StandardMethodCodecTest, UnwritableValuesGiveNoBytes) {
  EncodableValue custom(CustomEncodableValue(1));
  EXPECT_EQ(Codec().EncodeSuccessEnvelope(&custom), nullptr);
  EXPECT_EQ(Codec().EncodeErrorEnvelope("E", "m", &custom), nullptr);
  EXPECT_EQ(Codec().EncodeMethodCall(MethodCall<>("m", std::make_unique<EncodableValue>(custom))), nullptr);
}

}  // namespace
}  // namespace flutter
