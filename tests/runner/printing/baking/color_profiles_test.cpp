// Tests for the colour profiles: names, the stored selection's reading rules, and the three methods.
#include "runner/printing/baking/color_profiles.h"

#include "imaging/colour/output_space.h"

#include <gtest/gtest.h>

#include "runner/printing/printing_channel.h"
#include "tests/runner/recording_messenger.h"
#include "tests/runner/test_services.h"

namespace runner::printing {
namespace {


EncodableValue V(const std::string& text) { return EncodableValue(text); }

TEST(ColorProfiles, OfferedListAndDisplayNamesAreExact) {
  const auto profiles = GetAvailableColorProfiles();
  ASSERT_EQ(profiles.size(), 4u);
  EXPECT_EQ(profiles[0].id, "srgb");
  EXPECT_EQ(profiles[0].display_name, "sRGB (\xD7\x9E\xD7\x95\xD7\x9E\xD7\x9C\xD7\xA5 \xD7\x9C\xD7\x9E\xD7\xA8\xD7\x91\xD7\x99\xD7\xAA \xD7\x94\xD7\x9E\xD7\x93\xD7\xA4\xD7\xA1\xD7\x95\xD7\xAA)");
  EXPECT_EQ(profiles[1].display_name, "Adobe RGB (1998)");
  EXPECT_EQ(profiles[3].id, "custom");
  for (const auto& profile : profiles) EXPECT_TRUE(profile.is_built_in);

  const std::string custom_prefix = "\xD7\x9E\xD7\x95\xD7\xAA\xD7\x90\xD7\x9D: ";  // "מותאם: "
  const std::string bare_custom = "\xD7\xA4\xD7\xA8\xD7\x95\xD7\xA4\xD7\x99\xD7\x9C \xD7\x9E\xD7\x95\xD7\xAA\xD7\x90\xD7\x9D";
  EXPECT_EQ(GetColorProfileDisplayName("custom:C:\\x\\Printer.icc"), custom_prefix + "Printer.icc");
  EXPECT_EQ(GetColorProfileDisplayName("custom:/x/Printer.icc"), custom_prefix + "Printer.icc");
  EXPECT_EQ(GetColorProfileDisplayName("custom:/x/"), custom_prefix);
  EXPECT_EQ(GetColorProfileDisplayName("custom:Printer.icc"), bare_custom);
  EXPECT_EQ(GetColorProfileDisplayName("custom:"), bare_custom);
  EXPECT_EQ(GetColorProfileDisplayName("no_conversion"), profiles[2].display_name);
  EXPECT_EQ(GetColorProfileDisplayName("abc"), "sRGB (\xD7\x91\xD7\xA8\xD7\x99\xD7\xA8\xD7\xAA \xD7\x9E\xD7\x97\xD7\x93\xD7\x9C)");
  EXPECT_EQ(GetColorProfileDisplayName("SRGB"), GetColorProfileDisplayName("abc"));
}

TEST(ColorProfiles, StoredSelectionFollowsTheReadBufferRules) {
  platform::FakeSettingsStore store;
  EXPECT_EQ(LoadSelectedColorProfile(&store), "srgb");
  EXPECT_EQ(LoadSelectedColorProfile(nullptr), "srgb");
  store.Put("ColorProfile", "");
  EXPECT_EQ(LoadSelectedColorProfile(&store), "");
  store.Put("ColorProfile", std::string(255, 'a'));
  EXPECT_EQ(LoadSelectedColorProfile(&store), std::string(255, 'a'));
  store.Put("ColorProfile", std::string(256, 'a'));
  EXPECT_EQ(LoadSelectedColorProfile(&store), "srgb");
  store.Put("ColorProfile", std::string("ab\0cd", 5));
  EXPECT_EQ(LoadSelectedColorProfile(&store), "ab");
  store.Put("ColorProfile", "\xFF\xFE");
  EXPECT_EQ(LoadSelectedColorProfile(&store), "srgb");
  store.Put("ColorProfile", "adobe_rgb");
  store.SetUnreadable(true);
  EXPECT_EQ(LoadSelectedColorProfile(&store), "srgb");
}

TEST(ColorProfiles, SavingRefusesWhatCouldNotBeReadBack) {
  platform::FakeSettingsStore store;
  ::testing::internal::CaptureStdout();
  EXPECT_TRUE(SaveSelectedColorProfile(&store, std::string(255, 'x')));
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "INFO: Color profile set to: " + std::string(255, 'x') + "\n");
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(SaveSelectedColorProfile(&store, std::string(256, 'x')));
  EXPECT_FALSE(SaveSelectedColorProfile(&store, "a\nColorProfile=x"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            "ERROR: Failed to save color profile to registry\nERROR: Failed to save color profile to registry\n");
  EXPECT_EQ(LoadSelectedColorProfile(&store), std::string(255, 'x'));

  store.FailWrites(base::Status::Unavailable("Printing: Permission denied"));
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(SaveSelectedColorProfile(&store, "srgb"));
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ERROR: Failed to create registry key for color profile\n");
  // Every other kind is a value that could not be written.
  for (const base::Status& failure : {base::Status::IoError("Printing: disk full"),
                                      base::Status::AccessDenied("Printing: Permission denied")}) {
    store.FailWrites(failure);
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(SaveSelectedColorProfile(&store, "srgb"));
    EXPECT_EQ(::testing::internal::GetCapturedStderr(), "ERROR: Failed to save color profile to registry\n");
  }
}

class ColorProfileMethodsTest : public ::testing::Test {
 protected:
  void SetUp() override { SetupPrintingChannel(&messenger_, slot_, services_.services); }

  std::shared_ptr<const runner::testing::Answer> Call(const std::string& method,
                                                      std::unique_ptr<EncodableValue> arguments = nullptr) {
    ::testing::internal::CaptureStdout();
    auto answer = messenger_.Call("printing_channel", method, std::move(arguments));
    stdout_ = ::testing::internal::GetCapturedStdout();
    return answer;
  }
  std::unique_ptr<EncodableValue> ProfileId(EncodableValue id) {
    return std::make_unique<EncodableValue>(EncodableMap{{V("profileId"), std::move(id)}});
  }

  runner::testing::TestServices services_;
  runner::testing::RecordingMessenger messenger_;
  std::unique_ptr<Channel> slot_;
  std::string stdout_;
};

TEST_F(ColorProfileMethodsTest, SetThenGetRoundTripsAnyText) {
  for (const std::string id : {"adobe_rgb", "abc", "", "custom:/home/u/\xD7\x90.icc"}) {
    auto set = Call("setSelectedColorProfile", ProfileId(V(id)));
    ASSERT_EQ(set->kind, runner::testing::Answer::Kind::kSuccess) << id;
    EXPECT_EQ(set->value, EncodableValue(true));
    EXPECT_EQ(stdout_, "INFO: Color profile set to: " + id + "\n");
    auto get = Call("getSelectedColorProfile");
    EXPECT_EQ(get->value, V(id));
  }
}

TEST_F(ColorProfileMethodsTest, SetAnswersItsErrorRowsInOrder) {
  auto not_map = Call("setSelectedColorProfile", std::make_unique<EncodableValue>(EncodableList{}));
  EXPECT_EQ(not_map->error_code, "INVALID_ARGUMENTS");
  EXPECT_EQ(not_map->error_message, "Arguments must be a map");
  for (EncodableValue bad : {EncodableValue(5), EncodableValue(int64_t{5}), EncodableValue()}) {
    auto answer = Call("setSelectedColorProfile", ProfileId(bad));
    EXPECT_EQ(answer->error_message, "profileId must be a string");
  }
  ::testing::internal::CaptureStderr();
  auto too_long = Call("setSelectedColorProfile", ProfileId(V(std::string(300, 'p'))));
  ::testing::internal::GetCapturedStderr();
  EXPECT_EQ(too_long->error_code, "SET_PROFILE_ERROR");
  EXPECT_EQ(too_long->error_message, "Failed to set color profile");
  EXPECT_EQ(Call("getSelectedColorProfile")->value, V("srgb"));
}

TEST_F(ColorProfileMethodsTest, ListAnswersFourMapsInOrder) {
  auto answer = Call("getColorProfiles");
  const auto& list = std::get<EncodableList>(answer->value);
  ASSERT_EQ(list.size(), 4u);
  const auto& first = std::get<EncodableMap>(list[0]);
  EXPECT_EQ(first.at(V("id")), V("srgb"));
  EXPECT_EQ(first.at(V("isBuiltIn")), EncodableValue(true));
  EXPECT_EQ(std::get<EncodableMap>(list[3]).at(V("displayName")), V(GetAvailableColorProfiles()[3].display_name));
}

TEST(ColorProfiles, ApplyWritesTwoNoticesOnlyForACanvas) {
  ::testing::internal::CaptureStdout();
  const imaging::colour::OutputSpace adobe{imaging::colour::AdobeRgbProfile(), {}};
  ApplyColorProfile(false, "adobe_rgb", adobe);
  ApplyColorProfile(true, "adobe_rgb", adobe);
  ApplyColorProfile(true, "no_conversion", {});
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "INFO: Color profile selected: Adobe RGB (1998)\n"
            "INFO: Colors converted to Adobe RGB (1998)\n"
            "INFO: Color profile selected: ללא המרה (צבעים מקוריים)\n"
            "INFO: Colors kept as stored\n");
}

}  // namespace
}  // namespace runner::printing
