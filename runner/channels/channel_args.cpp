// Reading channel arguments: the forms and the reader's answer.
#include "runner/channels/channel_args.h"

#include <cmath>
#include <variant>

namespace runner {

std::optional<std::string> StringForm::Take(const EncodableValue& value) {
  if (const auto* text = std::get_if<std::string>(&value)) return *text;
  return std::nullopt;
}

std::optional<bool> BoolForm::Take(const EncodableValue& value) {
  if (const auto* flag = std::get_if<bool>(&value)) return *flag;
  return std::nullopt;
}

std::optional<bool> BoolOrInt32Form::Take(const EncodableValue& value) {
  if (const auto* flag = std::get_if<bool>(&value)) return *flag;
  if (const auto* number = std::get_if<int32_t>(&value)) return *number != 0;
  return std::nullopt;
}

std::optional<int32_t> Int32Form::Take(const EncodableValue& value) {
  if (const auto* number = std::get_if<int32_t>(&value)) return *number;
  return std::nullopt;
}

std::optional<int32_t> Int32OrDoubleForm::Take(const EncodableValue& value) {
  if (const auto* number = std::get_if<int32_t>(&value)) return *number;
  if (const auto* real = std::get_if<double>(&value)) {
    // Converting a double whose truncation lies outside int32 (or NaN) is undefined behaviour; such a
    // value cannot be what the caller meant, so it is refused like a kind the form does not accept.
    if (!(*real > -2147483649.0 && *real < 2147483648.0)) return std::nullopt;
    return static_cast<int32_t>(*real);  // truncates toward zero
  }
  return std::nullopt;
}

std::optional<double> DoubleForm::Take(const EncodableValue& value) {
  if (const auto* real = std::get_if<double>(&value)) return *real;
  return std::nullopt;
}

std::optional<double> NumberForm::Take(const EncodableValue& value) {
  if (const auto* real = std::get_if<double>(&value)) return *real;
  if (const auto* number = std::get_if<int32_t>(&value)) return static_cast<double>(*number);
  return std::nullopt;
}

std::optional<const std::vector<uint8_t>*> ByteListForm::Take(const EncodableValue& value) {
  if (const auto* bytes = std::get_if<std::vector<uint8_t>>(&value)) return bytes;
  return std::nullopt;
}

std::optional<const EncodableList*> ListForm::Take(const EncodableValue& value) {
  if (const auto* list = std::get_if<EncodableList>(&value)) return list;
  return std::nullopt;
}

std::optional<const EncodableMap*> MapForm::Take(const EncodableValue& value) {
  if (const auto* map = std::get_if<EncodableMap>(&value)) return map;
  return std::nullopt;
}

const EncodableMap* ArgumentMap(const MethodCall& call) {
  return Read(call.arguments(), kMap).value_or(nullptr);
}

const EncodableValue* FindKey(const EncodableMap& map, std::string_view key) {
  auto found = map.find(EncodableValue(std::string(key)));
  return found == map.end() ? nullptr : &found->second;
}

bool ArgReader::AnswerIfFailed(MethodResult& result) const {
  if (!failure_) return false;
  AnswerError(result, *failure_);
  return true;
}

}  // namespace runner
