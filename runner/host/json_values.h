// JSON <-> channel values, for `pictavera call`.
//
// JSON to channel values:
//   null, true/false, strings      -> null, bool, string
//   integers                       -> int32 when they fit 32 bits, else int64 (beyond int64: refused)
//   numbers with fraction/exponent -> double
//   arrays                         -> lists
//   objects                        -> maps with string keys
//   {"$bytes": "<base64>"}         -> byte list (standard alphabet, padding required)
//   {"$int64": n}                  -> int64 (n an integer)
//   {"$double": n}                 -> double (n a number, or "NaN", "Infinity", "-Infinity")
// A marker is an object with exactly that one key; an object with more keys is an ordinary map.
// Refused with a one-line reason: invalid JSON, numbers beyond the range of a double (1e400), integers
// beyond 64 bits, and values nested deeper than the host's decoder accepts
// (StandardCodecSerializer::kMaxNestingDepth, the top value counting as depth 1).
//
// Channel values to JSON, so that a round trip gives the same value and kind:
//   int64 -> {"$int64": n}; byte list -> {"$bytes": "..."}; finite double -> a number with a fraction or
//   exponent (3.0 stays 3.0); NaN and infinities -> {"$double": "NaN" | "Infinity" | "-Infinity"};
//   Int32List/Int64List/Float32List/Float64List -> plain arrays of numbers (their list kind is not kept);
//   map keys that are not strings -> their JSON text as the key; custom values -> null.
// Pure functions, thread-safe.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <nlohmann/json.hpp>

#include "flutter/encodable_value.h"

namespace runner {

// Returns std::nullopt and sets `*error` when a marker is malformed or an integer is out of range. Recurses
// once per level: give it documents whose depth is bounded (ParseJsonValue checks that first).
std::optional<flutter::EncodableValue> JsonToEncodable(const nlohmann::json& json, std::string* error);

// Parses JSON text and converts it. Returns std::nullopt and sets `*error` on invalid JSON or values.
std::optional<flutter::EncodableValue> ParseJsonValue(std::string_view text, std::string* error);

nlohmann::json EncodableToJson(const flutter::EncodableValue& value);

// The JSON document of a reply envelope: {"success": value}, {"error": {"code": .., "message": ..,
// "details": ..}}, or {"notImplemented": true} for the empty envelope. std::nullopt when the envelope is
// not a valid standard method codec envelope.
std::optional<nlohmann::json> ReplyEnvelopeToJson(const std::vector<uint8_t>& envelope);

// Base64 with the standard alphabet and padding. DecodeBase64 returns std::nullopt on any other input.
std::string EncodeBase64(const std::vector<uint8_t>& bytes);
std::optional<std::vector<uint8_t>> DecodeBase64(std::string_view text);

}  // namespace runner
