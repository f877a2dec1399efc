// JSON <-> channel values.
#include "runner/host/json_values.h"

#include <cmath>
#include <cstdint>
#include <limits>

#include "flutter/method_result.h"
#include "flutter/standard_codec_serializer.h"
#include "flutter/standard_method_codec.h"

namespace runner {
namespace {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;
using nlohmann::json;

constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Base64Digit(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

std::optional<EncodableValue> Fail(std::string* error, std::string text) {
  if (error) *error = std::move(text);
  return std::nullopt;
}

EncodableValue IntegerValue(int64_t v) {
  if (v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max()) {
    return EncodableValue(static_cast<int32_t>(v));
  }
  return EncodableValue(v);
}

std::optional<EncodableValue> MarkerToEncodable(const std::string& key, const json& value, std::string* error) {
  if (key == "$bytes") {
    if (!value.is_string()) return Fail(error, "\"$bytes\" needs a base64 string");
    auto bytes = DecodeBase64(value.get_ref<const std::string&>());
    if (!bytes) return Fail(error, "\"$bytes\" is not valid base64");
    return EncodableValue(std::move(*bytes));
  }
  if (key == "$int64") {
    if (value.is_number_integer()) return EncodableValue(value.get<int64_t>());
    if (value.is_number_unsigned()) return Fail(error, "\"$int64\" value does not fit 64 bits");
    return Fail(error, "\"$int64\" needs an integer");
  }
  // "$double"
  if (value.is_number()) return EncodableValue(value.get<double>());
  if (value.is_string()) {
    const auto& text = value.get_ref<const std::string&>();
    if (text == "NaN") return EncodableValue(std::numeric_limits<double>::quiet_NaN());
    if (text == "Infinity") return EncodableValue(std::numeric_limits<double>::infinity());
    if (text == "-Infinity") return EncodableValue(-std::numeric_limits<double>::infinity());
  }
  return Fail(error, "\"$double\" needs a number, \"NaN\", \"Infinity\" or \"-Infinity\"");
}

json DoubleToJson(double v) {
  if (std::isnan(v)) return json{{"$double", "NaN"}};
  if (std::isinf(v)) return json{{"$double", v > 0 ? "Infinity" : "-Infinity"}};
  return json(v);
}

// Turns the answer of a call into its JSON document.
class JsonResult : public flutter::MethodResult<EncodableValue> {
 public:
  json document;

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    document = json{{"success", result ? EncodableToJson(*result) : json(nullptr)}};
  }
  void ErrorInternal(const std::string& code, const std::string& message, const EncodableValue* details) override {
    document = json{{"error", {{"code", code}, {"message", message},
                               {"details", details ? EncodableToJson(*details) : json(nullptr)}}}};
  }
  void NotImplementedInternal() override { document = json{{"notImplemented", true}}; }
};

}  // namespace

std::optional<json> ReplyEnvelopeToJson(const std::vector<uint8_t>& envelope) {
  if (envelope.empty()) return json{{"notImplemented", true}};
  JsonResult result;
  if (!flutter::StandardMethodCodec::GetInstance().DecodeAndProcessResponseEnvelope(envelope.data(), envelope.size(),
                                                                                    &result)) {
    return std::nullopt;
  }
  return result.document;
}

std::string EncodeBase64(const std::vector<uint8_t>& bytes) {
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const uint32_t n = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
    for (int shift = 18; shift >= 0; shift -= 6) out += kAlphabet[(n >> shift) & 63];
  }
  const size_t rest = bytes.size() - i;
  if (rest > 0) {
    const uint32_t n = uint32_t{bytes[i]} << 16 | (rest == 2 ? uint32_t{bytes[i + 1]} << 8 : 0);
    out += kAlphabet[(n >> 18) & 63];
    out += kAlphabet[(n >> 12) & 63];
    out += rest == 2 ? kAlphabet[(n >> 6) & 63] : '=';
    out += '=';
  }
  return out;
}

std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::vector<uint8_t> out;
  out.reserve(text.size() / 4 * 3);
  for (size_t i = 0; i < text.size(); i += 4) {
    const bool last = i + 4 == text.size();
    const size_t padding = last ? (text[i + 3] == '=') + (text[i + 2] == '=' && text[i + 3] == '=') : 0;
    uint32_t n = 0;
    for (size_t k = 0; k < 4; ++k) {
      const int digit = k >= 4 - padding ? 0 : Base64Digit(text[i + k]);
      if (digit < 0) return std::nullopt;
      n = n << 6 | static_cast<uint32_t>(digit);
    }
    out.push_back(static_cast<uint8_t>(n >> 16));
    if (padding < 2) out.push_back(static_cast<uint8_t>(n >> 8));
    if (padding < 1) out.push_back(static_cast<uint8_t>(n));
  }
  return out;
}

namespace {

// Checks the text before it becomes a document: the parser itself would turn an integer beyond 64 bits
// into a double and refuse a number beyond double range with an exception, and the host's decoder would
// refuse a nesting deeper than its limit only after the call was sent.
class JsonLimitCheck : public nlohmann::json_sax<json> {
 public:
  std::string error;

  bool null() override { return Value(); }
  bool boolean(bool) override { return Value(); }
  bool number_integer(number_integer_t) override { return Value(); }
  bool number_unsigned(number_unsigned_t) override { return Value(); }
  bool number_float(number_float_t, const string_t& text) override {
    // The parser reads integers too large for 64 bits as doubles; their text has no fraction or exponent.
    if (text.find_first_of(".eE") == string_t::npos) return Refuse("integer " + text + " does not fit 64 bits");
    return Value();
  }
  bool string(string_t&) override { return Value(); }
  bool binary(binary_t&) override { return Value(); }
  bool start_object(std::size_t) override { return Open(); }
  bool key(string_t&) override { return true; }
  bool end_object() override { return Close(); }
  bool start_array(std::size_t) override { return Open(); }
  bool end_array() override { return Close(); }
  bool parse_error(std::size_t, const std::string& last_token, const nlohmann::detail::exception& e) override {
    if (e.id == 406) return Refuse("number " + last_token + " is beyond the range of a double");
    return Refuse(std::string("invalid JSON: ") + e.what());
  }

 private:
  // A scalar sits one level below its container; the top value is at depth 1, as the decoder counts.
  bool Value() {
    if (depth_ + 1 > flutter::StandardCodecSerializer::kMaxNestingDepth) return TooDeep();
    return true;
  }
  bool Open() {
    if (++depth_ > flutter::StandardCodecSerializer::kMaxNestingDepth) return TooDeep();
    return true;
  }
  bool Close() {
    --depth_;
    return true;
  }
  bool TooDeep() {
    return Refuse("values nested more than " + std::to_string(flutter::StandardCodecSerializer::kMaxNestingDepth) +
                  " deep");
  }
  bool Refuse(std::string text) {
    if (error.empty()) error = std::move(text);
    return false;
  }
  int depth_ = 0;
};

}  // namespace

std::optional<EncodableValue> JsonToEncodable(const json& value, std::string* error) {
  switch (value.type()) {
    case json::value_t::null:
      return EncodableValue();
    case json::value_t::boolean:
      return EncodableValue(value.get<bool>());
    case json::value_t::number_integer:
      return IntegerValue(value.get<int64_t>());
    case json::value_t::number_unsigned: {
      const uint64_t v = value.get<uint64_t>();
      if (v > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) {
        return Fail(error, "integer " + value.dump() + " does not fit 64 bits");
      }
      return IntegerValue(static_cast<int64_t>(v));
    }
    case json::value_t::number_float:
      return EncodableValue(value.get<double>());
    case json::value_t::string:
      return EncodableValue(value.get<std::string>());
    case json::value_t::array: {
      EncodableList list;
      list.reserve(value.size());
      for (const auto& element : value) {
        auto converted = JsonToEncodable(element, error);
        if (!converted) return std::nullopt;
        list.push_back(std::move(*converted));
      }
      return EncodableValue(std::move(list));
    }
    case json::value_t::object: {
      if (value.size() == 1) {
        const auto& key = value.begin().key();
        if (key == "$bytes" || key == "$int64" || key == "$double") {
          return MarkerToEncodable(key, value.begin().value(), error);
        }
      }
      EncodableMap map;
      for (const auto& [key, element] : value.items()) {
        auto converted = JsonToEncodable(element, error);
        if (!converted) return std::nullopt;
        map.emplace(EncodableValue(key), std::move(*converted));
      }
      return EncodableValue(std::move(map));
    }
    case json::value_t::binary:
    case json::value_t::discarded:
      break;
  }
  return Fail(error, "unsupported JSON value");
}

std::optional<EncodableValue> ParseJsonValue(std::string_view text, std::string* error) {
  JsonLimitCheck check;
  if (!json::sax_parse(text, &check)) return Fail(error, check.error.empty() ? "invalid JSON" : check.error);
  json parsed;
  try {
    parsed = json::parse(text);
  } catch (const json::exception& e) {
    return Fail(error, std::string("invalid JSON: ") + e.what());
  }
  return JsonToEncodable(parsed, error);
}

json EncodableToJson(const EncodableValue& value) {
  return std::visit(
      [](const auto& v) -> json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate> || std::is_same_v<T, flutter::CustomEncodableValue>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, bool> || std::is_same_v<T, int32_t> ||
                             std::is_same_v<T, std::string>) {
          return json(v);
        } else if constexpr (std::is_same_v<T, int64_t>) {
          return json{{"$int64", v}};
        } else if constexpr (std::is_same_v<T, double>) {
          return DoubleToJson(v);
        } else if constexpr (std::is_same_v<T, std::vector<uint8_t>>) {
          return json{{"$bytes", EncodeBase64(v)}};
        } else if constexpr (std::is_same_v<T, std::vector<float>> || std::is_same_v<T, std::vector<double>>) {
          json array = json::array();
          for (double d : v) array.push_back(std::isfinite(d) ? json(d) : DoubleToJson(d));
          return array;
        } else if constexpr (std::is_same_v<T, std::vector<int32_t>> || std::is_same_v<T, std::vector<int64_t>>) {
          return json(v);
        } else if constexpr (std::is_same_v<T, EncodableList>) {
          json array = json::array();
          for (const auto& element : v) array.push_back(EncodableToJson(element));
          return array;
        } else {
          static_assert(std::is_same_v<T, EncodableMap>);
          json object = json::object();
          for (const auto& [key, element] : v) {
            const auto* text = std::get_if<std::string>(&key);
            object[text ? *text : EncodableToJson(key).dump()] = EncodableToJson(element);
          }
          return object;
        }
      },
      static_cast<const flutter::internal::EncodableValueVariant&>(value));
}

}  // namespace runner
