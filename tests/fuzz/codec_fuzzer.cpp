// libFuzzer target for the standard codecs: arbitrary bytes as a message, a method call and a reply
// envelope. Decoding must fail cleanly or succeed; whatever decodes must re-encode and decode to the same
// value (compared through its encoding, which the codec writes canonically).
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "flutter/method_result_functions.h"
#include "flutter/standard_message_codec.h"
#include "flutter/standard_method_codec.h"

namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

void Fail(const char* what) {
  std::fprintf(stderr, "codec_fuzzer: %s\n", what);
  std::abort();
}

// NaN breaks the ordering of map keys (NaN is neither less nor greater than anything), so a map holding
// one may legitimately come back with other entries merged. Such values are checked for clean decoding
// only.
bool ContainsNaN(const EncodableValue& value) {
  if (auto* number = std::get_if<double>(&value)) return std::isnan(*number);
  if (auto* list = std::get_if<std::vector<double>>(&value)) {
    for (double d : *list) if (std::isnan(d)) return true;
  }
  if (auto* list = std::get_if<std::vector<float>>(&value)) {
    for (float f : *list) if (std::isnan(f)) return true;
  }
  if (auto* list = std::get_if<EncodableList>(&value)) {
    for (const EncodableValue& item : *list) if (ContainsNaN(item)) return true;
  }
  if (auto* map = std::get_if<EncodableMap>(&value)) {
    for (const auto& [key, item] : *map) if (ContainsNaN(key) || ContainsNaN(item)) return true;
  }
  return false;
}

std::vector<uint8_t> Canonical(const EncodableValue& value) {
  auto bytes = flutter::StandardMessageCodec::GetInstance().EncodeMessage(value);
  if (!bytes) Fail("a decoded value could not be encoded");
  return *bytes;
}

void CheckMessage(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMessageCodec::GetInstance();
  std::unique_ptr<EncodableValue> value = codec.DecodeMessage(data, size);
  if (!value || ContainsNaN(*value)) return;
  std::vector<uint8_t> bytes = Canonical(*value);
  std::unique_ptr<EncodableValue> again = codec.DecodeMessage(bytes);
  if (!again) Fail("re-encoded message does not decode");
  if (!(*again == *value) || Canonical(*again) != bytes) Fail("message changed in a round trip");
}

void CheckMethodCall(const uint8_t* data, size_t size) {
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  auto call = codec.DecodeMethodCall(data, size);
  if (!call) return;
  if (!call->arguments()) Fail("decoded call without arguments");
  // Arguments claiming more than a message may decode to are replaced by the refusal's marker, which
  // is answered and never encoded again.
  if (flutter::FindOversizedArguments(call->arguments()) != nullptr) return;
  if (ContainsNaN(*call->arguments())) return;
  auto bytes = codec.EncodeMethodCall(*call);
  if (!bytes) Fail("decoded call could not be encoded");
  auto again = codec.DecodeMethodCall(*bytes);
  if (!again) Fail("re-encoded call does not decode");
  if (again->method_name() != call->method_name() || !again->arguments() ||
      !(*again->arguments() == *call->arguments())) {
    Fail("method call changed in a round trip");
  }
}

// One decoded envelope, kept to re-encode it.
struct Envelope {
  int answers = 0;
  bool error = false;
  bool not_implemented = false;
  std::optional<EncodableValue> value;
  std::string code;
  std::string message;
};

bool ProcessEnvelope(const uint8_t* data, size_t size, Envelope* out) {
  flutter::MethodResultFunctions<> result(
      [out](const EncodableValue* value) {
        ++out->answers;
        if (value) out->value = *value;
      },
      [out](const std::string& code, const std::string& message, const EncodableValue* details) {
        ++out->answers;
        out->error = true;
        out->code = code;
        out->message = message;
        if (details) out->value = *details;
      },
      [out] {
        ++out->answers;
        out->not_implemented = true;
      });
  bool decoded = flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(data, size, &result);
  if (decoded != (out->answers == 1) || out->answers > 1) Fail("envelope decoding answered wrongly");
  return decoded;
}

void CheckEnvelope(const uint8_t* data, size_t size) {
  Envelope first;
  if (!ProcessEnvelope(data, size, &first) || first.not_implemented) return;
  if (first.value && ContainsNaN(*first.value)) return;
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const EncodableValue* value = first.value ? &*first.value : nullptr;
  auto bytes = first.error ? codec.EncodeErrorEnvelope(first.code, first.message, value)
                           : codec.EncodeSuccessEnvelope(value);
  if (!bytes) Fail("decoded envelope could not be encoded");
  Envelope second;
  if (!ProcessEnvelope(bytes->data(), bytes->size(), &second)) Fail("re-encoded envelope does not decode");
  if (second.error != first.error || second.code != first.code || second.message != first.message ||
      second.value != first.value) {
    Fail("envelope changed in a round trip");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CheckMessage(data, size);
  CheckMethodCall(data, size);
  CheckEnvelope(data, size);
  return 0;
}
