// Tests for the one-answer rules of the result that answers calls from the engine.
#include "flutter/engine_method_result.h"

#include <gtest/gtest.h>

#include "tests/flutter/stderr_capture.h"

#include <iostream>
#include <sstream>
#include <thread>
#include <vector>

#include "flutter/standard_method_codec.h"

namespace flutter {
namespace {

const char kDuplicateLine[] =
    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called exactly once. "
    "Ignoring duplicate result.\n";
const char kUnansweredLine[] = "Warning: Failed to respond to a message. This is a memory leak.\n";

// Captures standard error for the fixture's lifetime.
class EngineMethodResultTest : public ::testing::Test {
 protected:

  // A reply function that records every reply it is given.
  BinaryReply Recorder() {
    return [this](const uint8_t* reply, size_t size) {
      replies_.emplace_back(reply, reply + size);
    };
  }

  std::unique_ptr<EngineMethodResult<EncodableValue>> NewResult() {
    return std::make_unique<EngineMethodResult<EncodableValue>>(Recorder(), &StandardMethodCodec::GetInstance());
  }

  testing::StderrCapture captured_;
  std::vector<std::vector<uint8_t>> replies_;
};

TEST_F(EngineMethodResultTest, EachAnswerSendsItsEnvelope) {
  NewResult()->Success(EncodableValue(42));
  NewResult()->Success();
  NewResult()->Error("NO_IMAGES", "No images to print");
  NewResult()->NotImplemented();
  ASSERT_EQ(replies_.size(), 4u);
  EXPECT_EQ(replies_[0], (std::vector<uint8_t>{0x00, 0x03, 42, 0, 0, 0}));
  EXPECT_EQ(replies_[1], (std::vector<uint8_t>{0x00, 0x00}));
  EXPECT_EQ(replies_[2], *StandardMethodCodec::GetInstance().EncodeErrorEnvelope("NO_IMAGES", "No images to print"));
  EXPECT_TRUE(replies_[3].empty());
  EXPECT_EQ(captured_.str(), "");
}

TEST_F(EngineMethodResultTest, SecondAnswerIsIgnoredWithOneLine) {
  auto result = NewResult();
  result->Success(EncodableValue(true));
  result->Error("X", "late");
  EXPECT_EQ(replies_.size(), 1u);
  EXPECT_EQ(captured_.str(), kDuplicateLine);

  auto not_implemented_first = NewResult();
  not_implemented_first->NotImplemented();
  not_implemented_first->Success();
  not_implemented_first->NotImplemented();
  EXPECT_EQ(replies_.size(), 2u);
  EXPECT_EQ(captured_.str(), std::string(kDuplicateLine) + kDuplicateLine + kDuplicateLine);
}

TEST_F(EngineMethodResultTest, UnansweredResultWarnsAndSendsNothing) {
  NewResult().reset();
  EXPECT_TRUE(replies_.empty());
  EXPECT_EQ(captured_.str(), kUnansweredLine);

  // An answered result is destroyed silently.
  captured_.str("");
  NewResult()->Success();
  EXPECT_EQ(captured_.str(), "");
}

TEST_F(EngineMethodResultTest, UnwritableValueStillAnswersOnce) {
  auto result = NewResult();
  result->Success(EncodableValue(CustomEncodableValue(3)));
  ASSERT_EQ(replies_.size(), 1u);
  EXPECT_TRUE(replies_[0].empty());  // not implemented, so the caller is not left waiting
  result.reset();
  EXPECT_EQ(captured_.str().find("memory leak"), std::string::npos);
}

TEST_F(EngineMethodResultTest, ResultMovedToAnotherThreadAnswersThere) {
  auto result = NewResult();
  std::thread worker([owned = std::move(result)]() mutable {
    owned->Success(EncodableValue("done"));
    owned.reset();
  });
  worker.join();
  ASSERT_EQ(replies_.size(), 1u);
  EXPECT_EQ(replies_[0], (std::vector<uint8_t>{0x00, 0x07, 0x04, 'd', 'o', 'n', 'e'}));
  EXPECT_EQ(captured_.str(), "");
}

}  // namespace
}  // namespace flutter
