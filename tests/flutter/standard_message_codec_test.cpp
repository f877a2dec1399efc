// Tests for the standard message codec: golden bytes per kind, size prefixes, alignment, and bad input.
#include "flutter/standard_message_codec.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "flutter/byte_buffer_streams.h"
#include "flutter/standard_method_codec.h"
#include "tests/flutter/allocation_counter.h"

namespace flutter {
namespace {

const StandardMessageCodec& Codec() { return StandardMessageCodec::GetInstance(); }

std::vector<uint8_t> Encode(const EncodableValue& value) {
  auto encoded = Codec().EncodeMessage(value);
  EXPECT_TRUE(encoded);
  return encoded ? *encoded : std::vector<uint8_t>{};
}

// Checks the exact bytes of `value` and that they decode back to it.
void ExpectGolden(const EncodableValue& value, const std::vector<uint8_t>& bytes) {
  EXPECT_EQ(Encode(value), bytes);
  auto decoded = Codec().DecodeMessage(bytes);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, value);
}

EncodableValue RoundTrip(const EncodableValue& value) {
  auto decoded = Codec().DecodeMessage(Encode(value));
  EXPECT_TRUE(decoded);
  return decoded ? *decoded : EncodableValue("<decoding failed>");
}

TEST(StandardMessageCodecTest, ScalarsHaveTheirPublishedBytes) {
  ExpectGolden(EncodableValue(), {0x00});
  ExpectGolden(EncodableValue(true), {0x01});
  ExpectGolden(EncodableValue(false), {0x02});
  ExpectGolden(EncodableValue(0x12345678), {0x03, 0x78, 0x56, 0x34, 0x12});
  ExpectGolden(EncodableValue(int32_t{-1}), {0x03, 0xff, 0xff, 0xff, 0xff});
  ExpectGolden(EncodableValue(INT64_C(0x1234567890abcdef)), {0x04, 0xef, 0xcd, 0xab, 0x90, 0x78, 0x56, 0x34, 0x12});
  // The double is aligned to 8 from the message start: 7 zero bytes after the type byte.
  ExpectGolden(EncodableValue(3.14159265358979311599796346854),
               {0x06, 0, 0, 0, 0, 0, 0, 0, 0x18, 0x2d, 0x44, 0x54, 0xfb, 0x21, 0x09, 0x40});
}

TEST(StandardMessageCodecTest, StringsAreUtf8WithASizePrefix) {
  ExpectGolden(EncodableValue("hello world"),
               {0x07, 0x0b, 0x68, 0x65, 0x6c, 0x6c, 0x6f, 0x20, 0x77, 0x6f, 0x72, 0x6c, 0x64});
  ExpectGolden(EncodableValue("h\u263Aw"), {0x07, 0x05, 0x68, 0xe2, 0x98, 0xba, 0x77});
  ExpectGolden(EncodableValue("h\U0001F602w"), {0x07, 0x06, 0x68, 0xf0, 0x9f, 0x98, 0x82, 0x77});
  ExpectGolden(EncodableValue(""), {0x07, 0x00});
  ExpectGolden(EncodableValue(std::string("a\0b", 3)), {0x07, 0x03, 0x61, 0x00, 0x62});
}

TEST(StandardMessageCodecTest, TypedListsHaveTheirPublishedBytes) {
  ExpectGolden(EncodableValue(std::vector<uint8_t>{0xba, 0x5e, 0xba, 0x11}), {0x08, 0x04, 0xba, 0x5e, 0xba, 0x11});
  ExpectGolden(EncodableValue(std::vector<int32_t>{0x12345678, -1, 0}),
               {0x09, 0x03, 0x00, 0x00, 0x78, 0x56, 0x34, 0x12, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00, 0x00, 0x00});
  ExpectGolden(EncodableValue(std::vector<int64_t>{0x1234567890abcdef, -1}),
               {0x0a, 0x02, 0, 0, 0, 0, 0, 0, 0xef, 0xcd, 0xab, 0x90, 0x78, 0x56, 0x34, 0x12,
                0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff});
  ExpectGolden(EncodableValue(std::vector<float>{3.1415920257568359375f, 1000.0f}),
               {0x0e, 0x02, 0x00, 0x00, 0xd8, 0x0f, 0x49, 0x40, 0x00, 0x00, 0x7a, 0x44});
  ExpectGolden(EncodableValue(std::vector<double>{3.14159265358979311599796346854, 1000.0}),
               {0x0b, 0x02, 0, 0, 0, 0, 0, 0, 0x18, 0x2d, 0x44, 0x54, 0xfb, 0x21, 0x09, 0x40,
                0, 0, 0, 0, 0, 0x40, 0x8f, 0x40});
  // Empty typed lists still pad to their element alignment.
  ExpectGolden(EncodableValue(std::vector<double>{}), {0x0b, 0x00, 0, 0, 0, 0, 0, 0});
  ExpectGolden(EncodableValue(std::vector<uint8_t>{}), {0x08, 0x00});
}

TEST(StandardMessageCodecTest, ListsAndMapsNestWithAlignmentFromTheMessageStart) {
  EncodableValue list(EncodableList{
      EncodableValue(),
      EncodableValue("hello"),
      EncodableValue(3.14),
      EncodableValue(47),
      EncodableValue(EncodableList{EncodableValue(42), EncodableValue("nested")}),
  });
  ExpectGolden(list, {0x0c, 0x05, 0x00, 0x07, 0x05, 0x68, 0x65, 0x6c, 0x6c, 0x6f, 0x06, 0x00, 0x00, 0x00, 0x00,
                      0x00, 0x1f, 0x85, 0xeb, 0x51, 0xb8, 0x1e, 0x09, 0x40, 0x03, 0x2f, 0x00, 0x00, 0x00, 0x0c,
                      0x02, 0x03, 0x2a, 0x00, 0x00, 0x00, 0x07, 0x06, 0x6e, 0x65, 0x73, 0x74, 0x65, 0x64});
  ExpectGolden(EncodableValue(EncodableList{}), {0x0c, 0x00});

  // A map is written in key order: null < int32 < string.
  EncodableValue map(EncodableMap{
      {EncodableValue("b"), EncodableValue(true)},
      {EncodableValue(7), EncodableValue(std::vector<int32_t>{1})},
      {EncodableValue(), EncodableValue(std::vector<float>{2.0f})},
  });
  ExpectGolden(map, {0x0d, 0x03,
                     0x00, 0x0e, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x40,  // null: float32 list at 8
                     0x03, 0x07, 0x00, 0x00, 0x00, 0x09, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00,  // 7: int32 list at 20
                     0x07, 0x01, 0x62, 0x01});                                    // "b": true
}

TEST(StandardMessageCodecTest, SizePrefixGrowsAt254And65536) {
  struct Case {
    size_t size;
    std::vector<uint8_t> prefix;
  };
  const std::vector<Case> cases = {
      {253, {0xfd}},
      {254, {0xfe, 0xfe, 0x00}},
      {65535, {0xfe, 0xff, 0xff}},
      {65536, {0xff, 0x00, 0x00, 0x01, 0x00}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.size);
    std::string text(c.size, 'x');
    text.back() = 'y';
    std::vector<uint8_t> bytes = Encode(EncodableValue(text));
    ASSERT_EQ(bytes.size(), 1 + c.prefix.size() + c.size);
    EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 1, bytes.begin() + 1 + c.prefix.size()), c.prefix);
    EXPECT_EQ(RoundTrip(EncodableValue(text)), EncodableValue(text));

    EncodableValue list(EncodableList(c.size, EncodableValue(true)));
    EXPECT_EQ(RoundTrip(list), list);
    EncodableValue bytes_list(std::vector<uint8_t>(c.size, 0xab));
    EXPECT_EQ(RoundTrip(bytes_list), bytes_list);
  }
}

TEST(StandardMessageCodecTest, NonMinimalSizePrefixIsAccepted) {
  // Three bytes announced with the two-byte form.
  auto decoded = Codec().DecodeMessage(std::vector<uint8_t>{0x08, 0xfe, 0x03, 0x00, 1, 2, 3});
  ASSERT_TRUE(decoded);
  EXPECT_EQ(*decoded, EncodableValue(std::vector<uint8_t>{1, 2, 3}));
}

TEST(StandardMessageCodecTest, AlignedKindsRoundTripAfterEveryOffset) {
  // A leading string of 0..8 bytes moves the aligned value through every offset.
  for (size_t lead = 0; lead <= 8; ++lead) {
    SCOPED_TRACE(lead);
    EncodableValue value(EncodableList{
        EncodableValue(std::string(lead, 'a')), EncodableValue(-2.5),
        EncodableValue(std::string(lead, 'b')), EncodableValue(std::vector<int32_t>{1, -2}),
        EncodableValue(std::string(lead, 'c')), EncodableValue(std::vector<int64_t>{INT64_MIN}),
        EncodableValue(std::string(lead, 'd')), EncodableValue(std::vector<double>{0.5, -0.0}),
        EncodableValue(std::string(lead, 'e')), EncodableValue(std::vector<float>{1.5f}),
    });
    std::vector<uint8_t> bytes = Encode(value);
    // Every padded payload starts on its boundary: find the double's 8 bytes by value.
    double expected = -2.5;
    uint8_t pattern[8];
    std::memcpy(pattern, &expected, 8);
    auto at = std::search(bytes.begin(), bytes.end(), pattern, pattern + 8);
    ASSERT_NE(at, bytes.end());
    EXPECT_EQ((at - bytes.begin()) % 8, 0);
    EXPECT_EQ(RoundTrip(value), value);
  }
}

TEST(StandardMessageCodecTest, EmptyMessageDecodesAsNull) {
  auto decoded = Codec().DecodeMessage(std::vector<uint8_t>{});
  ASSERT_TRUE(decoded);
  EXPECT_TRUE(decoded->IsNull());
}

TEST(StandardMessageCodecTest, CustomValueCannotBeEncodedWithoutAnExtension) {
  EncodableValue custom(CustomEncodableValue(42));
  EXPECT_EQ(Codec().EncodeMessage(custom), nullptr);
  EXPECT_EQ(Codec().EncodeMessage(EncodableValue(EncodableList{EncodableValue(1), custom})), nullptr);
}

// A serializer extension in the published style: a point as type 128 with two int32 payloads.
struct Point {
  int32_t x;
  int32_t y;
};

class PointSerializer : public StandardCodecSerializer {
 public:
  void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const override {
    if (auto* custom = std::get_if<CustomEncodableValue>(&value)) {
      const Point& point = std::any_cast<const Point&>(static_cast<const std::any&>(*custom));
      stream->WriteByte(128);
      StandardCodecSerializer::WriteValue(EncodableValue(point.x), stream);
      StandardCodecSerializer::WriteValue(EncodableValue(point.y), stream);
      return;
    }
    StandardCodecSerializer::WriteValue(value, stream);
  }

 protected:
  EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const override {
    if (type != 128) return StandardCodecSerializer::ReadValueOfType(type, stream);
    int32_t x = std::get<int32_t>(ReadValue(stream));
    int32_t y = std::get<int32_t>(ReadValue(stream));
    return CustomEncodableValue(Point{x, y});
  }
};

TEST(StandardMessageCodecTest, SerializerExtensionHandlesCustomValuesInsideLists) {
  static const PointSerializer serializer;
  const StandardMessageCodec& codec = StandardMessageCodec::GetInstance(&serializer);
  EXPECT_NE(&codec, &Codec());
  EXPECT_EQ(&codec, &StandardMessageCodec::GetInstance(&serializer));
  auto bytes = codec.EncodeMessage(EncodableValue(EncodableList{CustomEncodableValue(Point{9, 16})}));
  ASSERT_TRUE(bytes);
  EXPECT_EQ(*bytes, (std::vector<uint8_t>{0x0c, 0x01, 0x80, 0x03, 9, 0, 0, 0, 0x03, 16, 0, 0, 0}));
  auto decoded = codec.DecodeMessage(*bytes);
  ASSERT_TRUE(decoded);
  const auto& custom = std::get<CustomEncodableValue>(std::get<EncodableList>(*decoded).at(0));
  const Point& point = std::any_cast<const Point&>(static_cast<const std::any&>(custom));
  EXPECT_EQ(point.x, 9);
  EXPECT_EQ(point.y, 16);
  // The standard codec does not know type 128.
  EXPECT_EQ(Codec().DecodeMessage(*bytes), nullptr);
  // A wrong payload inside the extension (bad_variant_access) is a decoding failure too.
  EXPECT_EQ(codec.DecodeMessage(std::vector<uint8_t>{0x80, 0x01, 0x01}), nullptr);
}

// ---- bad input ----

std::vector<EncodableValue> RichValues() {
  return {
      EncodableValue(int32_t{5}),
      EncodableValue(INT64_C(-5)),
      EncodableValue(2.5),
      EncodableValue("text"),
      EncodableValue(std::vector<uint8_t>{1, 2, 3}),
      EncodableValue(std::vector<int32_t>{1, 2}),
      EncodableValue(std::vector<int64_t>{1}),
      EncodableValue(std::vector<double>{1.0}),
      EncodableValue(std::vector<float>{1.0f}),
      EncodableValue(EncodableMap{
          {EncodableValue("paths"), EncodableValue(EncodableList{EncodableValue("/a"), EncodableValue("/b")})},
          {EncodableValue("scale"), EncodableValue(1.25)},
          {EncodableValue("bytes"), EncodableValue(std::vector<uint8_t>(300, 7))},
      }),
  };
}

TEST(StandardMessageCodecTest, EveryTruncationAndAnyTrailingByteFails) {
  for (const EncodableValue& value : RichValues()) {
    std::vector<uint8_t> bytes = Encode(value);
    for (size_t length = 1; length < bytes.size(); ++length) {
      ASSERT_EQ(Codec().DecodeMessage(bytes.data(), length), nullptr) << "length " << length;
    }
    bytes.push_back(0);
    EXPECT_EQ(Codec().DecodeMessage(bytes), nullptr);
  }
}

TEST(StandardMessageCodecTest, UnknownAndUnsupportedTypesFail) {
  for (uint8_t type : {uint8_t{5}, uint8_t{15}, uint8_t{0x7f}, uint8_t{0x80}, uint8_t{0xff}}) {
    EXPECT_EQ(Codec().DecodeMessage(std::vector<uint8_t>{type, 0x01, 0x31}), nullptr) << int{type};
    EXPECT_EQ(Codec().DecodeMessage(std::vector<uint8_t>{0x0c, 0x02, 0x00, type}), nullptr) << int{type};
  }
}

TEST(StandardMessageCodecTest, HostileLengthsFailWithoutLargeAllocations) {
  const std::vector<std::vector<uint8_t>> messages = {
      {0x07, 0xff, 0xff, 0xff, 0xff, 0xff, 'a'},                // string of 4 GiB - 1
      {0x08, 0xff, 0xff, 0xff, 0xff, 0xff, 1, 2, 3},            // byte list
      {0x09, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 0, 1, 2, 3, 4},   // int32 list
      {0x0a, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 0},               // int64 list
      {0x0b, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 0},               // float64 list
      {0x0e, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 0},               // float32 list
      {0x0c, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00},         // list of 4 G values, two present
      {0x0d, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00, 0x00},         // map of 4 G pairs, one present
      {0x07, 0xfe, 0xff, 0xff, 'a'},                            // 65535 announced, 1 present
      {0x07, 0xff},                                             // size prefix itself cut short
      {0x07, 0xfe, 0x01},
  };
  for (const auto& message : messages) {
    ResetLargestAllocation();
    EXPECT_EQ(Codec().DecodeMessage(message), nullptr) << int{message[0]};
    EXPECT_LE(LargestAllocationBytes(), size_t{1} << 20) << int{message[0]};
  }
}

EncodableValue NestedLists(int depth) {
  EncodableValue value{EncodableList{}};
  for (int i = 1; i < depth; ++i) value = EncodableValue(EncodableList{value});
  return value;
}

TEST(StandardMessageCodecTest, NestingIsBoundedWithoutOverflowingTheStack) {
  const int limit = StandardCodecSerializer::kMaxNestingDepth;
  EncodableValue deepest_allowed = NestedLists(limit);
  EXPECT_EQ(RoundTrip(deepest_allowed), deepest_allowed);
  EXPECT_EQ(Codec().DecodeMessage(Encode(NestedLists(limit + 1))), nullptr);

  // A million opening lists (and maps) with nothing inside: refused, not a crash.
  for (uint8_t type : {uint8_t{0x0c}, uint8_t{0x0d}}) {
    std::vector<uint8_t> hostile;
    for (int i = 0; i < 1'000'000; ++i) {
      hostile.push_back(type);
      hostile.push_back(0x01);
    }
    EXPECT_EQ(Codec().DecodeMessage(hostile), nullptr);
  }
  // The depth count is released after a failure: a later legal message still decodes.
  EXPECT_EQ(RoundTrip(deepest_allowed), deepest_allowed);
}

// A list of `count` one-byte values of `type` (null, true, false): count bytes plus a 5-byte prefix.
std::vector<uint8_t> ListOfOneByteValues(uint32_t count, uint8_t type) {
  std::vector<uint8_t> message = {0x0c, 0xff};
  for (int i = 0; i < 4; ++i) message.push_back(static_cast<uint8_t>(count >> (8 * i)));
  message.insert(message.end(), count, type);
  return message;
}

TEST(StandardMessageCodecTest, AMessageCannotExpandToManyTimesItsSizeInDecodedValues) {
  // A million nulls in about 1 MB would be over 50 MB of values; eight million in 8 MiB half a gigabyte.
  for (uint32_t count : {1'000'000u, 8u << 20}) {
    ResetLargestAllocation();
    EXPECT_EQ(Codec().DecodeMessage(ListOfOneByteValues(count, 0x00)), nullptr) << count;
    // Refused once the budget is spent, long before the whole list was built.
    EXPECT_LE(LargestAllocationBytes(), 4 * StandardCodecSerializer::kDecodeExpansion * (size_t{count} + 6)) << count;
  }
  EXPECT_EQ(Codec().DecodeMessage(ListOfOneByteValues(1'000'000, 0x01)), nullptr);
  // The same through the method codec: the argument of a call.
  std::vector<uint8_t> call = {0x07, 0x01, 'm'};
  const auto nulls = ListOfOneByteValues(1'000'000, 0x00);
  call.insert(call.end(), nulls.begin(), nulls.end());
  // The call keeps its name, with a marker in place of arguments too large to hold, for a clear refusal.
  const auto decoded = StandardMethodCodec::GetInstance().DecodeMethodCall(call);
  ASSERT_TRUE(decoded);
  EXPECT_EQ(decoded->method_name(), "m");
  ASSERT_NE(FindOversizedArguments(decoded->arguments()), nullptr);
  EXPECT_EQ(FindOversizedArguments(decoded->arguments())->message_bytes, call.size());
  // Whatever its size, no message decodes to more than kMaxDecodedBytes: a million and a half int32
  // values (7.5 MB, well within 16 times) would be some 84 MB of values.
  EncodableList many(1'500'000, EncodableValue(int32_t{7}));
  const auto big = StandardMethodCodec::GetInstance().EncodeMethodCall(MethodCall<EncodableValue>(
      "bake", std::make_unique<EncodableValue>(std::move(many))));
  EXPECT_NE(FindOversizedArguments(StandardMethodCodec::GetInstance().DecodeMethodCall(*big)->arguments()), nullptr);
  EXPECT_EQ(FindOversizedArguments(nullptr), nullptr);

  // Ordinary messages fit: small lists of nulls, a big list of int32 values, a map of strings, big blobs.
  EXPECT_TRUE(Codec().DecodeMessage(ListOfOneByteValues(10'000, 0x00)));
  EncodableList numbers(100'000, EncodableValue(int32_t{7}));
  EXPECT_EQ(RoundTrip(EncodableValue(numbers)), EncodableValue(numbers));
  EncodableMap records;
  for (int i = 0; i < 20'000; ++i) records[EncodableValue("key" + std::to_string(i))] = EncodableValue("/photos/p.jpg");
  EXPECT_EQ(RoundTrip(EncodableValue(records)), EncodableValue(records));
  const EncodableValue blob(std::vector<uint8_t>(8 << 20, 3));
  EXPECT_EQ(RoundTrip(blob), blob);
}

TEST(ByteBufferStreamReaderTest, ReadsPastTheEndThrowAndLeaveThePositionAlone) {
  const uint8_t data[] = {1, 2, 3};
  ByteBufferStreamReader reader(data, sizeof data);
  uint8_t out[4] = {};
  EXPECT_THROW(reader.ReadBytes(out, 4), DecodeError);
  EXPECT_EQ(reader.BytesRemaining(), 3u);
  EXPECT_EQ(reader.ReadByte(), 1);
  EXPECT_THROW(reader.ReadAlignment(8), DecodeError);  // padding of 7 with 2 bytes left
  reader.ReadAlignment(1);
  reader.ReadBytes(out, 2);
  EXPECT_EQ(out[1], 3);
  EXPECT_THROW(reader.ReadByte(), DecodeError);

  ByteBufferStreamReader empty(nullptr, 0);
  EXPECT_THROW(empty.ReadByte(), DecodeError);
  empty.ReadBytes(nullptr, 0);
}

}  // namespace
}  // namespace flutter
