// Tests for the reading forms, key lookup and the first-failure reader.
#include "runner/channel_args.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/recorded_result.h"

namespace runner {
namespace {

// One value of every kind a channel can carry, to check each form's accepted set.
const EncodableValue kNullValue;
const EncodableValue kTrueValue(true);
const EncodableValue kInt32SevenValue(int32_t{7});
const EncodableValue kInt32ZeroValue(int32_t{0});
const EncodableValue kInt64SevenValue(int64_t{7});
const EncodableValue kDouble2_9Value(2.9);
const EncodableValue kTextValue("rows");
const EncodableValue kBytesValue(std::vector<uint8_t>{1, 2, 3});
const EncodableValue kListValue(EncodableList{EncodableValue("a")});
const EncodableValue kMapValue(EncodableMap{{EncodableValue("k"), EncodableValue(int32_t{1})}});
const EncodableValue kInt32ListValue(std::vector<int32_t>{1});

// The names of the kinds each form accepts, from the values above.
template <class Form>
std::vector<std::string> AcceptedKinds(Form form) {
  const std::vector<std::pair<std::string, const EncodableValue*>> all = {
      {"null", &kNullValue},   {"bool", &kTrueValue},   {"int32", &kInt32SevenValue}, {"int64", &kInt64SevenValue},
      {"double", &kDouble2_9Value}, {"string", &kTextValue}, {"bytes", &kBytesValue},   {"list", &kListValue},
      {"map", &kMapValue},     {"int32list", &kInt32ListValue}};
  std::vector<std::string> accepted;
  for (const auto& [name, value] : all) {
    if (Read(value, form).has_value()) accepted.push_back(name);
  }
  return accepted;
}

using Kinds = std::vector<std::string>;

TEST(ReadingForms, EachFormAcceptsExactlyItsKindsAndNeverInt64) {
  EXPECT_EQ(AcceptedKinds(kString), Kinds({"string"}));
  EXPECT_EQ(AcceptedKinds(kBool), Kinds({"bool"}));
  EXPECT_EQ(AcceptedKinds(kBoolOrInt32), Kinds({"bool", "int32"}));
  EXPECT_EQ(AcceptedKinds(kInt32), Kinds({"int32"}));
  EXPECT_EQ(AcceptedKinds(kInt32OrDouble), Kinds({"int32", "double"}));
  EXPECT_EQ(AcceptedKinds(kDouble), Kinds({"double"}));
  EXPECT_EQ(AcceptedKinds(kNumber), Kinds({"int32", "double"}));
  EXPECT_EQ(AcceptedKinds(kByteList), Kinds({"bytes"}));
  EXPECT_EQ(AcceptedKinds(kList), Kinds({"list"}));
  EXPECT_EQ(AcceptedKinds(kMap), Kinds({"map"}));
}

TEST(ReadingForms, ValuesTaken) {
  EXPECT_EQ(Read(&kTextValue, kString), "rows");
  EXPECT_EQ(Read(&kTrueValue, kBool), true);
  EXPECT_EQ(Read(&kInt32SevenValue, kBoolOrInt32), true);
  EXPECT_EQ(Read(&kInt32ZeroValue, kBoolOrInt32), false);
  const EncodableValue minus_one(int32_t{-1});
  EXPECT_EQ(Read(&minus_one, kBoolOrInt32), true);
  EXPECT_EQ(Read(&kInt32SevenValue, kInt32), 7);
  EXPECT_EQ(Read(&kInt32SevenValue, kInt32OrDouble), 7);
  EXPECT_EQ(Read(&kDouble2_9Value, kDouble), 2.9);
  EXPECT_EQ(Read(&kDouble2_9Value, kNumber), 2.9);
  EXPECT_EQ(**Read(&kBytesValue, kByteList), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ((*Read(&kListValue, kList))->size(), 1u);
  EXPECT_EQ(*Read(&kMapValue, kMap), &std::get<EncodableMap>(kMapValue));
  EXPECT_EQ(Read(nullptr, kString), std::nullopt);  // a call without arguments
}

TEST(ReadingForms, Int32OrDoubleTruncatesTowardZero) {
  const EncodableValue minus(-2.9), big(2147483647.9), small(-2147483648.9);
  EXPECT_EQ(Read(&kDouble2_9Value, kInt32OrDouble), 2);
  EXPECT_EQ(Read(&minus, kInt32OrDouble), -2);
  EXPECT_EQ(Read(&big, kInt32OrDouble), 2147483647);
  EXPECT_EQ(Read(&small, kInt32OrDouble), -2147483647 - 1);
}

TEST(ReadingForms, Int32OrDoubleRefusesDoublesThatDoNotFit) {
  for (double bad : {2147483648.0, -2147483649.0, 1e300, -1e300, std::numeric_limits<double>::infinity(),
                     std::numeric_limits<double>::quiet_NaN()}) {
    const EncodableValue value(bad);
    EXPECT_EQ(Read(&value, kInt32OrDouble), std::nullopt) << bad;
  }
}

TEST(ReadingForms, NumberConvertsInt32ExactlyWhileDoubleRefusesIt) {
  const EncodableValue three(int32_t{3}), largest(int32_t{2147483647});
  EXPECT_EQ(Read(&three, kNumber), 3.0);
  EXPECT_EQ(Read(&largest, kNumber), 2147483647.0);
  EXPECT_EQ(Read(&three, kDouble), std::nullopt);
}

TEST(ReadingForms, ListElementsOfOtherKindsAreSkipped) {
  const EncodableList paths{EncodableValue("/a.jpg"), EncodableValue(int32_t{1}), EncodableValue(),
                            EncodableValue("/b.jpg"), EncodableValue(EncodableList{EncodableValue("/c.jpg")})};
  EXPECT_EQ(ReadElements(paths, kString), (std::vector<std::string>{"/a.jpg", "/b.jpg"}));
  EXPECT_EQ(ReadElements(paths, kNumber), (std::vector<double>{1.0}));
  EXPECT_TRUE(ReadElements(EncodableList{}, kString).empty());
}

TEST(KeyLookup, ThreeOutcomes) {
  const EncodableMap map{{EncodableValue("rows"), EncodableValue(int32_t{4})},
                         {EncodableValue("cols"), EncodableValue(int64_t{4})}};
  auto rows = LookUp(map, "rows", kInt32);
  EXPECT_EQ(rows.outcome, LookupOutcome::kAccepted);
  EXPECT_EQ(rows.value, 4);
  auto cols = LookUp(map, "cols", kInt32);
  EXPECT_EQ(cols.outcome, LookupOutcome::kWrongKind);
  EXPECT_EQ(cols.value, std::nullopt);
  EXPECT_EQ(LookUp(map, "gap", kInt32).outcome, LookupOutcome::kAbsent);
  // Keys match by their exact string only.
  EXPECT_EQ(LookUp(map, "Rows", kInt32).outcome, LookupOutcome::kAbsent);
  EXPECT_EQ(LookUp(map, "row", kInt32).outcome, LookupOutcome::kAbsent);
}

TEST(KeyLookup, NonStringKeysAreNotFoundByTheirText) {
  const EncodableMap map{{EncodableValue(int32_t{1}), EncodableValue("one")}};
  EXPECT_EQ(LookUp(map, "1", kString).outcome, LookupOutcome::kAbsent);
}

TEST(ArgumentMapOfCall, OnlyAMapArgumentIsAMap) {
  const MethodCall with_map("m", std::make_unique<EncodableValue>(kMapValue));
  const MethodCall with_list("m", std::make_unique<EncodableValue>(kListValue));
  const MethodCall with_null("m", std::make_unique<EncodableValue>());
  const MethodCall without("m", nullptr);
  EXPECT_EQ(ArgumentMap(with_map), &std::get<EncodableMap>(*with_map.arguments()));
  EXPECT_EQ(ArgumentMap(with_list), nullptr);
  EXPECT_EQ(ArgumentMap(with_null), nullptr);
  EXPECT_EQ(ArgumentMap(without), nullptr);
}

class ArgReaderTest : public ::testing::Test {
 protected:
  const EncodableMap map_{{EncodableValue("rows"), EncodableValue(int32_t{3})},
                          {EncodableValue("cols"), EncodableValue(2.0)},
                          {EncodableValue("gap"), EncodableValue(int64_t{5})},
                          {EncodableValue("name"), EncodableValue("A4")}};
};

TEST_F(ArgReaderTest, AcceptedKeysReadWithoutFailure) {
  ArgReader args(map_);
  EXPECT_EQ(args.Required("rows", kInt32, kMissingRequiredParameters), 3);
  EXPECT_EQ(args.Optional("cols", kNumber), 2.0);
  EXPECT_EQ(args.Optional("absent", kNumber), std::nullopt);
  EXPECT_EQ(args.Or("name", kString, "Letter"), "A4");
  EXPECT_TRUE(args.ok());
  test_support::RecordedResult result;
  EXPECT_FALSE(args.AnswerIfFailed(result));
  EXPECT_EQ(result.answers, 0);
}

TEST_F(ArgReaderTest, OrGivesTheFallbackForAbsentAndWrongKindIncludingInt64) {
  ArgReader args(map_);
  EXPECT_EQ(args.Or("gap", kInt32, 10), 10);
  EXPECT_EQ(args.Or("gap", kNumber, 1.5), 1.5);
  EXPECT_EQ(args.Or("absent", kBool, true), true);
  EXPECT_TRUE(args.ok());
}

TEST_F(ArgReaderTest, MissingRequiredKeyFailsWithTheHandlersError) {
  ArgReader args(map_);
  EXPECT_EQ(args.Required("imagePaths", kList, kMissingImagePaths), std::nullopt);
  ASSERT_FALSE(args.ok());
  EXPECT_EQ(*args.failure(), ChannelError(kMissingImagePaths));
}

TEST_F(ArgReaderTest, WrongKindFailsWithAMessageNamingTheKey) {
  ArgReader args(map_);
  EXPECT_EQ(args.Required("gap", kInt32, kMissingRequiredParameters), std::nullopt);
  test_support::RecordedResult result;
  EXPECT_TRUE(args.AnswerIfFailed(result));
  EXPECT_EQ(result.answers, 1);
  EXPECT_EQ(result.code, "INVALID_ARGUMENTS");
  EXPECT_EQ(result.message, "Invalid type for key 'gap'");
  EXPECT_TRUE(result.details_null);

  ArgReader optional(map_);
  EXPECT_EQ(optional.Optional("cols", kDouble), 2.0);
  EXPECT_EQ(optional.Optional("rows", kDouble), std::nullopt);  // int32 is not a double
  EXPECT_EQ(*optional.failure(), InvalidTypeForKey("rows"));
}

TEST_F(ArgReaderTest, WrongKindCanHaveTheHandlersOwnMessage) {
  ArgReader args(map_);
  args.Required("rows", kString, kMissingPrinterName, kPrinterNameMustBeString);
  EXPECT_EQ(*args.failure(), ChannelError(kPrinterNameMustBeString));
}

TEST_F(ArgReaderTest, FirstFailureWinsAndLaterReadsAreSkipped) {
  ArgReader args(map_);
  EXPECT_EQ(args.Required("rows", kInt32, kMissingRequiredParameters), 3);
  EXPECT_EQ(args.Optional("gap", kInt32), std::nullopt);                             // fails first
  EXPECT_EQ(args.Required("absent", kInt32, kMissingImagePaths), std::nullopt);      // ignored
  EXPECT_EQ(args.Required("name", kString, kMissingPrinterName), std::nullopt);      // skipped
  EXPECT_EQ(args.Optional("rows", kInt32), std::nullopt);                            // skipped
  EXPECT_EQ(args.Or("rows", kInt32, -1), -1);
  EXPECT_EQ(*args.failure(), InvalidTypeForKey("gap"));
  test_support::RecordedResult result;
  EXPECT_TRUE(args.AnswerIfFailed(result));
  EXPECT_EQ(result.answers, 1);
  EXPECT_EQ(result.message, "Invalid type for key 'gap'");
}

}  // namespace
}  // namespace runner
