// Tests of the JSON <-> channel value mapping of `pictavera call`.
#include "runner/host/json_values.h"

#include <cmath>

#include <gtest/gtest.h>

#include "flutter/standard_codec_serializer.h"
#include "flutter/standard_method_codec.h"

namespace runner {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using nlohmann::json;

EncodableValue Parse(const char* text) {
  std::string error;
  auto value = ParseJsonValue(text, &error);
  EXPECT_TRUE(value) << text << ": " << error;
  return value ? *value : EncodableValue();
}

std::string Refused(const char* text) {
  std::string error;
  auto value = ParseJsonValue(text, &error);
  EXPECT_FALSE(value) << text;
  return error;
}

TEST(JsonValuesTest, IntegersAreInt32WhenTheyFitElseInt64AndFractionsOrExponentsAreDouble) {
  EXPECT_EQ(Parse("2147483647"), EncodableValue(int32_t{2147483647}));
  EXPECT_EQ(Parse("-2147483648"), EncodableValue(int32_t{-2147483647 - 1}));
  EXPECT_EQ(Parse("2147483648"), EncodableValue(int64_t{2147483648}));
  EXPECT_EQ(Parse("-2147483649"), EncodableValue(int64_t{-2147483649}));
  EXPECT_EQ(Parse("9223372036854775807"), EncodableValue(int64_t{9223372036854775807}));
  EXPECT_EQ(Parse("3.0"), EncodableValue(3.0));
  EXPECT_EQ(Parse("1e3"), EncodableValue(1000.0));
  EXPECT_EQ(Parse("-0.5"), EncodableValue(-0.5));
  EXPECT_NE(Refused("18446744073709551615").find("does not fit"), std::string::npos);
}

TEST(JsonValuesTest, NumbersBeyondRangeAndNestingBeyondTheDecodersLimitAreRefusedWithAReason) {
  EXPECT_NE(Refused("1e400").find("beyond the range of a double"), std::string::npos);
  EXPECT_NE(Refused("[1, -1e400]").find("-1e400"), std::string::npos);
  // Beyond 64 bits the parser would otherwise read a double.
  EXPECT_NE(Refused("[99999999999999999999]").find("does not fit 64 bits"), std::string::npos);
  EXPECT_NE(Refused(R"({"$int64": 18446744073709551616})").find("does not fit"), std::string::npos);
  EXPECT_EQ(Parse("1e300"), EncodableValue(1e300));
  EXPECT_EQ(Parse("99999999999999999999.0"), EncodableValue(1e20));

  const int limit = flutter::StandardCodecSerializer::kMaxNestingDepth;
  // Lists nested `limit` deep, the innermost empty: exactly what the decoder still accepts.
  const std::string deepest(limit, '[');
  EXPECT_TRUE(ParseJsonValue(deepest + std::string(limit, ']'), nullptr));
  // A scalar inside them is one level more.
  std::string error;
  EXPECT_FALSE(ParseJsonValue(deepest + "1" + std::string(limit, ']'), &error));
  EXPECT_NE(error.find("nested more than"), std::string::npos) << error;
  EXPECT_NE(Refused((std::string(20000, '[') + std::string(20000, ']')).c_str()).find("nested"), std::string::npos);
  std::string objects;
  for (int i = 0; i < 20000; ++i) objects += R"({"a":)";
  objects += "1" + std::string(20000, '}');
  EXPECT_NE(Refused(objects.c_str()).find("nested"), std::string::npos);
}

TEST(JsonValuesTest, ObjectsAreStringKeyedMapsAndArraysAreLists) {
  const EncodableValue expected(EncodableMap{
      {EncodableValue("a"), EncodableValue(EncodableList{EncodableValue(true), EncodableValue(), EncodableValue("x")})},
      {EncodableValue("b"), EncodableValue(EncodableMap{})}});
  EXPECT_EQ(Parse(R"({"a": [true, null, "x"], "b": {}})"), expected);
}

TEST(JsonValuesTest, MarkersForceBytesInt64AndDouble) {
  EXPECT_EQ(Parse(R"({"$bytes": "AAH/"})"), EncodableValue(std::vector<uint8_t>{0, 1, 255}));
  EXPECT_EQ(Parse(R"({"$bytes": ""})"), EncodableValue(std::vector<uint8_t>{}));
  EXPECT_EQ(Parse(R"({"$int64": 5})"), EncodableValue(int64_t{5}));
  EXPECT_EQ(Parse(R"({"$double": 2})"), EncodableValue(2.0));
  EXPECT_EQ(Parse(R"({"$double": "-Infinity"})"), EncodableValue(-INFINITY));
  EXPECT_TRUE(std::isnan(std::get<double>(Parse(R"({"$double": "NaN"})"))));
  // With a second key it is an ordinary map.
  const auto map = Parse(R"({"$int64": 5, "other": 1})");
  EXPECT_EQ(std::get<EncodableMap>(map).at(EncodableValue("$int64")), EncodableValue(int32_t{5}));
}

TEST(JsonValuesTest, MalformedMarkersAndInvalidJsonAreRefused) {
  Refused(R"({"$bytes": "abc"})");     // not a multiple of four
  Refused(R"({"$bytes": "ab!="})");    // outside the alphabet
  Refused(R"({"$bytes": 12})");
  Refused(R"({"$int64": 1.5})");
  Refused(R"({"$int64": "5"})");
  Refused(R"({"$double": "nan"})");
  Refused(R"([1, {"$int64": true}])");  // nested
  EXPECT_NE(Refused("{bad").find("invalid JSON"), std::string::npos);
  Refused("");
  Refused("1 2");
}

TEST(JsonValuesTest, RoundTripKeepsEveryKindAndValue) {
  const EncodableValue original(EncodableMap{
      {EncodableValue("i32"), EncodableValue(int32_t{-7})},
      {EncodableValue("i64small"), EncodableValue(int64_t{7})},
      {EncodableValue("i64big"), EncodableValue(int64_t{1} << 40)},
      {EncodableValue("whole"), EncodableValue(3.0)},
      {EncodableValue("tiny"), EncodableValue(1e-300)},
      {EncodableValue("inf"), EncodableValue(INFINITY)},
      {EncodableValue("bytes"), EncodableValue(std::vector<uint8_t>{0, 0x80, 0xFF, 1})},
      {EncodableValue("text"), EncodableValue("Zoë \"quoted\"")},
      {EncodableValue("list"), EncodableValue(EncodableList{EncodableValue(), EncodableValue(false)})},
  });
  const std::string text = EncodableToJson(original).dump();
  EXPECT_EQ(Parse(text.c_str()), original) << text;
}

TEST(JsonValuesTest, TypedListsBecomePlainArraysAndOtherKeysTheirJsonText) {
  EXPECT_EQ(EncodableToJson(EncodableValue(std::vector<int32_t>{1, -2})), json::parse("[1, -2]"));
  EXPECT_EQ(EncodableToJson(EncodableValue(std::vector<int64_t>{5})), json::parse("[5]"));
  EXPECT_EQ(EncodableToJson(EncodableValue(std::vector<double>{0.5, NAN})), json::parse(R"([0.5, {"$double": "NaN"}])"));
  EXPECT_EQ(EncodableToJson(EncodableValue(std::vector<float>{0.25f})), json::parse("[0.25]"));
  EXPECT_EQ(EncodableToJson(EncodableValue(EncodableMap{{EncodableValue(int32_t{4}), EncodableValue("four")}})),
            json::parse(R"({"4": "four"})"));
}

TEST(JsonValuesTest, Base64MatchesTheStandardVectors) {
  const std::pair<const char*, const char*> vectors[] = {
      {"", ""}, {"f", "Zg=="}, {"fo", "Zm8="}, {"foo", "Zm9v"}, {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"}};
  for (const auto& [plain, encoded] : vectors) {
    const std::vector<uint8_t> bytes(plain, plain + std::strlen(plain));
    EXPECT_EQ(EncodeBase64(bytes), encoded);
    EXPECT_EQ(DecodeBase64(encoded), bytes) << encoded;
  }
  for (const char* bad : {"Zg=", "Z===", "=Zm9", "Zm=v", "Zg==Zg==", "Zm9v\n"}) {
    EXPECT_FALSE(DecodeBase64(bad)) << bad;
  }
}

TEST(JsonValuesTest, ReplyEnvelopesBecomeTheirDocuments) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const EncodableValue value(int64_t{1700000000000});
  EXPECT_EQ(ReplyEnvelopeToJson(*codec.EncodeSuccessEnvelope(&value)),
            json::parse(R"({"success": {"$int64": 1700000000000}})"));
  EXPECT_EQ(ReplyEnvelopeToJson(*codec.EncodeSuccessEnvelope()), json::parse(R"({"success": null})"));
  EXPECT_EQ(ReplyEnvelopeToJson(*codec.EncodeErrorEnvelope("NO_IMAGES", "No images to print")),
            json::parse(R"({"error": {"code": "NO_IMAGES", "message": "No images to print", "details": null}})"));
  EXPECT_EQ(ReplyEnvelopeToJson({}), json::parse(R"({"notImplemented": true})"));
  EXPECT_FALSE(ReplyEnvelopeToJson({7, 7, 7}));
}

}  // namespace
}  // namespace runner
