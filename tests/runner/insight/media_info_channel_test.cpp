// Tests for "getQuickMeta": argument rules, the upright size and the capture time in the reply.
#include "runner/insight/insight_channels.h"

#include <gtest/gtest.h>

#include "tests/runner/recording_messenger.h"
#include "tests/runner/test_services.h"

namespace runner::insight {
namespace {

using runner::testing::Answer;

class MediaInfoChannelTest : public ::testing::Test {
 protected:
  void SetUp() override { SetupMediaInfoChannel(&messenger_, slot_, services_.services); }

  std::shared_ptr<const Answer> Ask(EncodableValue arguments, const std::string& method = "getQuickMeta") {
    return messenger_.Call("media_info_channel", method, std::make_unique<EncodableValue>(std::move(arguments)));
  }
  static EncodableValue PathArgument(const std::string& path) {
    return EncodableValue(EncodableMap{{EncodableValue("path"), EncodableValue(path)}});
  }
  static const EncodableValue* Key(const Answer& answer, const char* key) {
    const auto& map = std::get<EncodableMap>(answer.value);
    auto found = map.find(EncodableValue(key));
    return found == map.end() ? nullptr : &found->second;
  }

  runner::testing::TestServices services_;
  runner::testing::RecordingMessenger messenger_;
  std::unique_ptr<Channel> slot_;
};

TEST_F(MediaInfoChannelTest, TurnedPhotoAnswersUprightSizeAndCaptureTimeAsInt64) {
  platform::PictureMetadata photo;
  photo.width_px = 4000;
  photo.height_px = 3000;
  photo.orientation = 6;
  photo.date_time_original = "2024:05:06 10:20:30";
  photo.date_time = "2020:01:01 00:00:00";
  services_.metadata.Add("/p/turned.jpg", photo);
  auto answer = Ask(PathArgument("/p/turned.jpg"));
  ASSERT_EQ(answer->kind, Answer::Kind::kSuccess);
  EXPECT_EQ(std::get<int32_t>(*Key(*answer, "width")), 3000);
  EXPECT_EQ(std::get<int32_t>(*Key(*answer, "height")), 4000);
  EXPECT_EQ(std::get<int64_t>(*Key(*answer, "capturedAtMillis")), 1'714'990'830'000);

  for (int orientation : {1, 3, 4, 9, 0}) {
    photo.orientation = orientation;
    services_.metadata.Add("/p/o.jpg", photo);
    auto upright = Ask(PathArgument("/p/o.jpg"));
    EXPECT_EQ(std::get<int32_t>(*Key(*upright, "width")), 4000) << orientation;
  }
}

TEST_F(MediaInfoChannelTest, DateTimeIsUsedWhenTheOriginalIsMissingAndBadDatesAreLeftOut) {
  platform::PictureMetadata photo;
  photo.width_px = 10;
  photo.height_px = 20;
  photo.date_time = "2020:01:01 00:00:00";
  services_.metadata.Add("/p/dt.jpg", photo);
  EXPECT_EQ(std::get<int64_t>(*Key(*Ask(PathArgument("/p/dt.jpg")), "capturedAtMillis")), 1'577'836'800'000);

  for (const char* bad : {"    :  :     :  :  ", "0000:00:00 00:00:00", "1969:12:31 23:59:59",
                          "1970:01:01 00:00:00"}) {
    photo.date_time_original = bad;
    services_.metadata.Add("/p/bad.jpg", photo);
    auto answer = Ask(PathArgument("/p/bad.jpg"));
    ASSERT_EQ(answer->kind, Answer::Kind::kSuccess);
    EXPECT_EQ(Key(*answer, "capturedAtMillis"), nullptr) << bad;  // the original wins even when unusable
    EXPECT_EQ(std::get<int32_t>(*Key(*answer, "width")), 10);
  }
}

TEST_F(MediaInfoChannelTest, UnusableArgumentsAndUnreadableFilesAnswerNull) {
  services_.metadata.Fail("/p/text.txt", imaging::MetadataStatus::kUnknownFormat);
  for (const EncodableValue& arguments :
       {PathArgument(""), PathArgument("/p/missing.jpg"), PathArgument("/p/text.txt"),
        EncodableValue(EncodableMap{{EncodableValue("path"), EncodableValue(5)}}), EncodableValue(EncodableMap{}),
        EncodableValue("/p/plain-string.jpg")}) {
    auto answer = Ask(arguments);
    EXPECT_EQ(answer->kind, Answer::Kind::kSuccess);
    EXPECT_TRUE(answer->value.IsNull());
    EXPECT_EQ(answer->replies, 1);
  }
  EXPECT_TRUE(Ask(PathArgument("/p/x.jpg"), "GetQuickMeta")->not_implemented());
}

}  // namespace
}  // namespace runner::insight
