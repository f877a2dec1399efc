// Tests for the thumbnail, quick-metadata and face channels' setup and dispatch.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "runner/insight/insight_channels.h"
#include "tests/runner/recording_messenger.h"
#include "tests/runner/test_services.h"

namespace runner::insight {
namespace {

using runner::testing::RecordingMessenger;

struct InsightChannel {
  std::string channel;
  std::string method;
  std::function<void(flutter::BinaryMessenger*, std::unique_ptr<Channel>&)> setup;
};

std::vector<InsightChannel> AllInsightChannels(const Services& services) {
  return {
      {"thumbnail_channel", "getThumbnail",
       [&services](flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot) {
         SetupThumbnailChannel(messenger, slot, services);
       }},
      {"media_info_channel", "getQuickMeta",
       [&services](flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot) {
         SetupMediaInfoChannel(messenger, slot, services);
       }},
      {"face_rects_channel", "detectFacesWindows",
       [&services](flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot) {
         SetupFaceRectsChannel(messenger, slot, services);
       }},
  };
}

class InsightChannelsTest : public ::testing::Test {
 protected:
  runner::testing::TestServices services_;
  RecordingMessenger messenger_;
};

TEST_F(InsightChannelsTest, ArgumentsThatAreNotAMapAnswerNullOnEveryChannel) {
  for (const auto& c : AllInsightChannels(services_.services)) {
    std::unique_ptr<Channel> slot;
    c.setup(&messenger_, slot);
    ASSERT_NE(slot, nullptr) << c.channel;
    auto with_list = messenger_.Call(c.channel, c.method, std::make_unique<EncodableValue>(EncodableList{}));
    auto without = messenger_.Call(c.channel, c.method);
    ASSERT_TRUE(with_list && without) << c.channel;
    for (const auto* answer : {with_list.get(), without.get()}) {
      EXPECT_EQ(answer->kind, runner::testing::Answer::Kind::kSuccess) << c.channel;
      EXPECT_EQ(answer->replies, 1) << c.channel;
      EXPECT_TRUE(answer->value.IsNull()) << c.channel;
    }
  }
  EXPECT_EQ(messenger_.handler_count(), 3u);
}

TEST_F(InsightChannelsTest, NamesMatchExactlyAndOnlyOnTheirOwnChannel) {
  std::vector<std::unique_ptr<Channel>> slots(3);
  const auto channels = AllInsightChannels(services_.services);
  for (size_t i = 0; i < channels.size(); ++i) channels[i].setup(&messenger_, slots[i]);
  for (const auto& c : channels) {
    std::string upper = c.method;
    upper[0] = static_cast<char>(std::toupper(upper[0]));
    for (const std::string& name : {upper, c.method.substr(0, c.method.size() - 1), c.method + "s",
                                    std::string("getThumbnail") == c.method ? std::string("getQuickMeta")
                                                                            : std::string("getThumbnail")}) {
      auto answer = messenger_.Call(c.channel, name);
      ASSERT_TRUE(answer);
      EXPECT_TRUE(answer->not_implemented()) << c.channel << " " << name;
    }
    auto later = messenger_.Call(c.channel, c.method);
    ASSERT_TRUE(later);
    EXPECT_EQ(later->replies, 1);
  }
}

TEST_F(InsightChannelsTest, SecondSetupLeavesOneWorkingChannel) {
  for (const auto& c : AllInsightChannels(services_.services)) {
    std::unique_ptr<Channel> slot;
    c.setup(&messenger_, slot);
    Channel* first = slot.get();
    c.setup(&messenger_, slot);
    EXPECT_NE(slot.get(), first);
    EXPECT_TRUE(messenger_.HasHandler(c.channel));
    auto answer = messenger_.Call(c.channel, c.method);
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->replies, 1) << c.channel;
  }
  EXPECT_EQ(messenger_.handler_count(), 3u);
}

}  // namespace
}  // namespace runner::insight
