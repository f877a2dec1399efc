// Tests for the baking rows of the method table: a bake through the channel reaches the fake graphics
// and file system that the services hold.
#include "runner/printing/baking/baking_channel.h"

#include <gtest/gtest.h>

#include "runner/printing/printing_channel.h"
#include "tests/runner/recording_messenger.h"
#include "tests/runner/test_services.h"

namespace runner::printing {
namespace {

EncodableValue V(const char* text) { return EncodableValue(std::string(text)); }

TEST(BakingMethods, ChannelBakeWritesFilesAtTheClampedQuality) {
  runner::testing::TestServices services;
  services.graphics.AddPicture("/p.jpg", *imaging::MakeBitmap(60, 40, 0xFF102030));
  services.settings.Put("ColorProfile", "adobe_rgb");
  runner::testing::RecordingMessenger messenger;
  std::unique_ptr<Channel> slot;
  SetupPrintingChannel(&messenger, slot, services.services);

  const EncodableMap request{{V("sourcePath"), V("/p.jpg")}, {V("canvasWidth"), EncodableValue(30)},
                             {V("canvasHeight"), EncodableValue(20)}};
  for (const auto& [quality, expected] : std::vector<std::pair<int, int>>{{0, 1}, {150, 100}, {40, 40}}) {
    auto arguments = std::make_unique<EncodableValue>(EncodableMap{
        {V("requests"), EncodableValue(EncodableList{EncodableValue(request), EncodableValue(request)})},
        {V("jpegQuality"), EncodableValue(quality)}});
    ::testing::internal::CaptureStderr();
    ::testing::internal::CaptureStdout();
    auto answer = messenger.Call("printing_channel", "bakeImagesForPrinting", std::move(arguments));
    ::testing::internal::GetCapturedStdout();
    const std::string log = ::testing::internal::GetCapturedStderr();
    ASSERT_EQ(answer->kind, runner::testing::Answer::Kind::kSuccess) << answer->error_message;
    EXPECT_EQ(answer->replies, 1);
    const auto& reply = std::get<EncodableMap>(answer->value);
    EXPECT_EQ(reply.at(V("successCount")), EncodableValue(2));
    const auto& results = std::get<EncodableList>(reply.at(V("results")));
    for (const EncodableValue& result : results) {
      const auto& path = std::get<std::string>(std::get<EncodableMap>(result).at(V("bakedPath")));
      EXPECT_TRUE(services.files.IsRegularFile(path)) << path;
    }
    const std::vector<int> qualities = services.graphics.jpeg_qualities();
    ASSERT_GE(qualities.size(), 2u);
    EXPECT_EQ(qualities[qualities.size() - 1], expected);
    EXPECT_EQ(qualities[qualities.size() - 2], expected);
    EXPECT_NE(log.find("INFO: Using color profile: adobe_rgb\n"), std::string::npos);
    EXPECT_NE(log.find("INFO: Starting parallel baking with 1 threads for 2 images\n"), std::string::npos);
  }
  EXPECT_EQ(services.bakes.file_counter.load(), 6u);
}

}  // namespace
}  // namespace runner::printing
