// `pictavera call`'s JSON on hostile text: parsing and converting never crash, and whatever converts to
// channel values converts back to JSON and again to the same values (compared through the codec's bytes,
// so NaN compares as itself). Reply envelopes of arbitrary bytes turn into JSON or are refused cleanly.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "flutter/standard_message_codec.h"
#include "runner/host/json_values.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "json_fuzzer: %s\n", what);
  std::abort();
}

std::vector<uint8_t> Bytes(const flutter::EncodableValue& value) {
  return *flutter::StandardMessageCodec::GetInstance().EncodeMessage(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;
  if (const std::optional<flutter::EncodableValue> value = runner::ParseJsonValue(text, &error)) {
    const nlohmann::json json = runner::EncodableToJson(*value);
    const std::optional<flutter::EncodableValue> again = runner::ParseJsonValue(json.dump(), &error);
    if (!again) Fail("the JSON of a value does not parse");
    if (Bytes(*again) != Bytes(*value)) Fail("a value does not survive its JSON");
  } else if (error.empty()) {
    Fail("a refusal without a reason");
  }
  (void)runner::ReplyEnvelopeToJson(std::vector<uint8_t>(data, data + size));
  return 0;
}
