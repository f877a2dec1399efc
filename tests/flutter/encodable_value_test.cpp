// Tests for EncodableValue: construction of the intended kind, LongValue, ordering as a map key.
#include "flutter/encodable_value.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <type_traits>
#include <variant>

namespace flutter {
namespace {

TEST(EncodableValueTest, LiteralsTakeTheirNaturalKind) {
  EXPECT_TRUE(EncodableValue().IsNull());
  EXPECT_TRUE(std::holds_alternative<std::string>(EncodableValue("text")));  // not bool
  EXPECT_TRUE(std::holds_alternative<int32_t>(EncodableValue(1)));
  EXPECT_TRUE(std::holds_alternative<int64_t>(EncodableValue(int64_t{1})));
  EXPECT_TRUE(std::holds_alternative<double>(EncodableValue(1.0)));
  EXPECT_TRUE(std::holds_alternative<bool>(EncodableValue(true)));
  EncodableValue assigned;
  assigned = "later";
  EXPECT_EQ(std::get<std::string>(assigned), "later");
  // The alternatives keep the wrapper's order (index 12 is the custom value, 13 the float list).
  EXPECT_EQ(EncodableValue(CustomEncodableValue(1)).index(), 12u);
  EXPECT_EQ(EncodableValue(std::vector<float>{}).index(), 13u);
}

// A pointer must not silently become EncodableValue(true).
static_assert(!std::is_convertible_v<const EncodableValue*, EncodableValue>);
static_assert(std::is_convertible_v<CustomEncodableValue, EncodableValue>);

TEST(EncodableValueTest, LongValueWidensEitherIntegerAndRefusesOthers) {
  EXPECT_EQ(EncodableValue(int32_t{-7}).LongValue(), -7);
  EXPECT_EQ(EncodableValue(std::numeric_limits<int64_t>::max()).LongValue(), std::numeric_limits<int64_t>::max());
  EXPECT_THROW(EncodableValue(1.0).LongValue(), std::bad_variant_access);
}

TEST(EncodableValueTest, OrdersByKindThenValueSoAnyValueIsAMapKey) {
  EXPECT_LT(EncodableValue(), EncodableValue(false));
  EXPECT_LT(EncodableValue(100), EncodableValue(int64_t{1}));  // int32 sorts before int64 whatever the value
  EXPECT_LT(EncodableValue("a"), EncodableValue("b"));
  EXPECT_LT(EncodableValue(EncodableList{EncodableValue(1)}), EncodableValue(EncodableList{EncodableValue(2)}));
  EXPECT_FALSE(EncodableValue(1) < EncodableValue(1));

  EncodableMap map;
  map[EncodableValue("key")] = EncodableValue(1);
  map[EncodableValue(EncodableList{EncodableValue("key")})] = EncodableValue(2);
  map[EncodableValue("key")] = EncodableValue(3);
  EXPECT_EQ(map.size(), 2u);
  EXPECT_EQ(map.at(EncodableValue("key")), EncodableValue(3));
  EXPECT_EQ(map.count(EncodableValue(int64_t{0})), 0u);
}

}  // namespace
}  // namespace flutter
