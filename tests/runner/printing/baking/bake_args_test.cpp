// Tests for reading bake requests and effects from channel values, and the reply form of a result.
#include "runner/printing/baking/bake_args.h"
#include "runner/printing/baking/baking_channel.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace runner::printing {
namespace {

EncodableValue V(const char* text) { return EncodableValue(std::string(text)); }

EncodableMap MinimalRequest() {
  return {{V("sourcePath"), V("/photos/a.jpg")}, {V("canvasWidth"), EncodableValue(100)},
          {V("canvasHeight"), EncodableValue(150)}};
}

std::optional<BakeRequest> ReadWith(std::initializer_list<std::pair<const char*, EncodableValue>> extra) {
  EncodableMap map = MinimalRequest();
  for (const auto& [key, value] : extra) map[V(key)] = value;
  return ReadBakeRequest(EncodableValue(map));
}

BakeEffects EffectsWith(const char* key, EncodableValue value) {
  return ReadBakeEffects(EncodableValue(EncodableMap{{V(key), std::move(value)}}));
}

TEST(BakeRecords, RequestNeedsStringPathAndInt32Sides) {
  const auto request = ReadBakeRequest(EncodableValue(MinimalRequest()));
  ASSERT_TRUE(request);
  EXPECT_EQ(request->source_path, "/photos/a.jpg");
  EXPECT_EQ(request->canvas_width_px, 100);
  EXPECT_EQ(request->canvas_height_px, 150);
  EXPECT_EQ(request->image_scale, 1.0);
  EXPECT_FALSE(request->rotate_for_output);
  EXPECT_TRUE(request->frame_path.empty());

  EXPECT_FALSE(ReadWith({{"canvasWidth", EncodableValue(100.0)}}));
  EXPECT_FALSE(ReadWith({{"canvasHeight", EncodableValue(int64_t{150})}}));
  EXPECT_FALSE(ReadWith({{"sourcePath", EncodableValue(5)}}));
  EncodableMap missing = MinimalRequest();
  missing.erase(V("canvasHeight"));
  EXPECT_FALSE(ReadBakeRequest(EncodableValue(missing)));
  EXPECT_FALSE(ReadBakeRequest(EncodableValue(EncodableList{})));
}

TEST(BakeRecords, NonsenseNumbersAreRefusedNamingTheKeyAndWrongKindsKeepTheirDefaults) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  for (double hostile : {nan, inf, -inf, 1e300, 10000.5, 0.0, -1.0, 1e-320}) {
    const auto scaled = ReadWith({{"imageScale", EncodableValue(hostile)}});
    EXPECT_EQ(scaled->image_scale, 1.0) << hostile;
    EXPECT_EQ(scaled->refusal, "Invalid value for key 'imageScale': expected above 0 and at most 10000") << hostile;
  }
  EXPECT_EQ(ReadWith({{"offsetY", EncodableValue(-1e10)}})->refusal,
            "Invalid value for key 'offsetY': expected a finite number from -1e9 to 1e9");
  EXPECT_EQ(ReadWith({{"canvasWidth", EncodableValue(0)}})->refusal, "Invalid value for key 'canvasWidth': expected above 0");
  // A pen of 1e30 x 20 pixels would paint the whole canvas in the stroke's colour; one as wide as the
  // canvas's longer side (150 px: stroke 7.5) is still a stroke.
  const auto huge = ReadWith({{"effects", EncodableValue(EncodableMap{{V("stroke"), EncodableValue(1e30)}})}});
  EXPECT_EQ(huge->refusal, "Invalid value for key 'stroke': expected a stroke no wider than the canvas (100x150)");
  EXPECT_EQ(ReadWith({{"effects", EncodableValue(EncodableMap{{V("stroke"), EncodableValue(7.5)}})}})->refusal, "");
  EXPECT_NE(ReadWith({{"effects", EncodableValue(EncodableMap{{V("strokeScale"), EncodableValue(nan)}})}})->refusal, "");
  EXPECT_EQ(ReadWith({{"imageScale", EncodableValue(10000.0)}})->image_scale, 10000.0);
  EXPECT_EQ(ReadWith({{"offsetX", EncodableValue(-1e9)}})->offset_x_px, -1e9);
  auto request = ReadWith({{"imageScale", EncodableValue(int64_t{2})}, {"offsetX", EncodableValue(V("1"))},
                           {"offsetY", EncodableValue(3)}, {"rotateForOutput", EncodableValue(1)},
                           {"framePath", V("")}, {"effects", EncodableValue(EncodableList{})}});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->image_scale, 1.0);
  EXPECT_EQ(request->offset_x_px, 0.0);
  EXPECT_EQ(request->offset_y_px, 0.0);  // an int32 is the wrong kind for a double
  EXPECT_FALSE(request->rotate_for_output);
  EXPECT_TRUE(request->frame_path.empty());
  EXPECT_EQ(request->effects.stroke, 0.0f);
  EXPECT_EQ(request->effects.stroke_color, 0xFF000000u);
  EXPECT_EQ(request->refusal, "");

  request = ReadWith({{"imageScale", EncodableValue(1.5)}, {"offsetX", EncodableValue(-2.5)},
                      {"rotateForOutput", EncodableValue(true)}, {"framePath", V("/f.png")},
                      {"sourcePath", EncodableValue(std::string("/a.jpg\0/etc/passwd", 18))}});
  ASSERT_TRUE(request);
  EXPECT_EQ(request->image_scale, 1.5);
  EXPECT_EQ(request->offset_x_px, -2.5);
  EXPECT_TRUE(request->rotate_for_output);
  EXPECT_EQ(request->frame_path, "/f.png");
  EXPECT_EQ(request->source_path, "/a.jpg");
}

TEST(BakeRecords, StrokeEffectsFollowTheirThresholdsAndRanges) {
  EXPECT_FALSE(EffectsWith("strokeExternal", EncodableValue(0.49)).stroke_external);
  EXPECT_TRUE(EffectsWith("strokeExternal", EncodableValue(0.5)).stroke_external);
  EXPECT_EQ(EffectsWith("strokeScale", EncodableValue(2)).stroke_scale, 1.0f);
  EXPECT_EQ(EffectsWith("strokeScale", EncodableValue(2.0)).stroke_scale, 2.0f);
  EXPECT_EQ(EffectsWith("stroke", EncodableValue(0.5)).stroke, 0.5f);
  EXPECT_EQ(EffectsWith("stroke", EncodableValue(1e300)).stroke, 0.0f);
  EXPECT_EQ(EffectsWith("stroke", EncodableValue(std::nan(""))).stroke, 0.0f);

  EXPECT_EQ(EffectsWith("strokeColor", EncodableValue(4294901760.0)).stroke_color, 0xFFFF0000u);
  EXPECT_EQ(EffectsWith("strokeColor", EncodableValue(-1.0)).stroke_color, 0xFFFFFFFFu);
  EXPECT_EQ(EffectsWith("strokeColor", EncodableValue(4294967296.0 + 255.9)).stroke_color, 0x000000FFu);
  EXPECT_EQ(EffectsWith("strokeColor", EncodableValue(1e300)).stroke_color, 0xFF000000u);
  EXPECT_EQ(EffectsWith("strokeColor", EncodableValue(9223372036854775808.0)).stroke_color, 0xFF000000u);
  EXPECT_EQ(EffectsWith("strokeColor", EncodableValue(int64_t{0xFFFF0000})).stroke_color, 0xFF000000u);

  // The tone keys are accepted and change nothing.
  const BakeEffects toned = EffectsWith("exposure", EncodableValue(2.0));
  EXPECT_EQ(toned.stroke, 0.0f);
  EXPECT_EQ(toned.stroke_scale, 1.0f);
}

TEST(BakeRecords, ResultMapCarriesPathOrErrorNeverBoth) {
  BakeResult unfilled;
  EXPECT_EQ(unfilled.index, -1);
  EXPECT_FALSE(unfilled.success);

  BakeResult ok;
  ok.success = true;
  ok.index = 2;
  ok.baked_path = "/t/b.jpg";
  const EncodableMap ok_map = BakeResultToMap(ok);
  EXPECT_EQ(ok_map.at(V("bakedPath")), V("/t/b.jpg"));
  EXPECT_EQ(ok_map.at(V("index")), EncodableValue(2));
  EXPECT_EQ(ok_map.count(V("error")), 0u);

  BakeResult failed;
  failed.index = 0;
  failed.error = "Failed to render image with effects";
  const EncodableMap failed_map = BakeResultToMap(failed);
  EXPECT_EQ(failed_map.at(V("success")), EncodableValue(false));
  EXPECT_EQ(failed_map.at(V("error")), V("Failed to render image with effects"));
  EXPECT_EQ(failed_map.count(V("bakedPath")), 0u);
}

}  // namespace
}  // namespace runner::printing
