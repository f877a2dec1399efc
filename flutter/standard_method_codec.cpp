// StandardMethodCodec: method calls and reply envelopes in the standard format.
#include "flutter/standard_method_codec.h"

#include <iostream>
#include <map>
#include <mutex>
#include <optional>

#include "flutter/byte_buffer_streams.h"

namespace flutter {

namespace {

constexpr uint8_t kSuccessEnvelope = 0;
constexpr uint8_t kErrorEnvelope = 1;

// Runs `write` into a fresh buffer; nullptr (after one line on std::cerr) when the value can't be written.
template <typename Write>
std::unique_ptr<std::vector<uint8_t>> Encode(Write write) {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  try {
    ByteBufferStreamWriter stream(encoded.get());
    write(&stream);
  } catch (const std::exception& error) {
    std::cerr << error.what() << std::endl;
    return nullptr;
  }
  return encoded;
}

}  // namespace

const StandardMethodCodec& StandardMethodCodec::GetInstance(const StandardCodecSerializer* serializer) {
  if (!serializer) serializer = &StandardCodecSerializer::GetInstance();
  static std::mutex mutex;
  static auto* codecs = new std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMethodCodec>>();
  std::lock_guard<std::mutex> lock(mutex);
  auto found = codecs->find(serializer);
  if (found == codecs->end()) {
    found =
        codecs->emplace(serializer, std::unique_ptr<StandardMethodCodec>(new StandardMethodCodec(serializer))).first;
  }
  return *found->second;
}

StandardMethodCodec::StandardMethodCodec(const StandardCodecSerializer* serializer) : serializer_(serializer) {}

StandardMethodCodec::~StandardMethodCodec() = default;

const OversizedArguments* FindOversizedArguments(const EncodableValue* arguments) {
  const auto* custom = arguments != nullptr ? std::get_if<CustomEncodableValue>(arguments) : nullptr;
  return custom != nullptr ? std::any_cast<OversizedArguments>(&static_cast<const std::any&>(*custom)) : nullptr;
}

std::unique_ptr<MethodCall<EncodableValue>> StandardMethodCodec::DecodeMethodCallInternal(
    const uint8_t* message, size_t message_size) const {
  if (!message || message_size == 0) return nullptr;
  try {
    ByteBufferStreamReader stream(message, message_size);
    StandardCodecSerializer::DecodeBudget budget(message_size);
    EncodableValue name = serializer_->ReadValue(&stream);
    std::string* method_name = std::get_if<std::string>(&name);
    if (!method_name) return nullptr;
    std::unique_ptr<EncodableValue> arguments;
    try {
      arguments = std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
    } catch (const DecodeBudgetSpent&) {
      // What was read so far is already given back; the call keeps its name for a clear refusal.
      return std::make_unique<MethodCall<EncodableValue>>(
          *method_name, std::make_unique<EncodableValue>(CustomEncodableValue(OversizedArguments{message_size})));
    }
    if (stream.BytesRemaining() != 0) return nullptr;
    return std::make_unique<MethodCall<EncodableValue>>(*method_name, std::move(arguments));
  } catch (...) {
    return nullptr;
  }
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeMethodCallInternal(
    const MethodCall<EncodableValue>& method_call) const {
  return Encode([&](ByteStreamWriter* stream) {
    serializer_->WriteValue(EncodableValue(method_call.method_name()), stream);
    serializer_->WriteValue(method_call.arguments() ? *method_call.arguments() : EncodableValue(), stream);
  });
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeSuccessEnvelopeInternal(
    const EncodableValue* result) const {
  return Encode([&](ByteStreamWriter* stream) {
    stream->WriteByte(kSuccessEnvelope);
    serializer_->WriteValue(result ? *result : EncodableValue(), stream);
  });
}

std::unique_ptr<std::vector<uint8_t>> StandardMethodCodec::EncodeErrorEnvelopeInternal(
    const std::string& error_code, const std::string& error_message, const EncodableValue* error_details) const {
  return Encode([&](ByteStreamWriter* stream) {
    stream->WriteByte(kErrorEnvelope);
    serializer_->WriteValue(EncodableValue(error_code), stream);
    // An empty message travels as null, as the other side's codec writes it.
    serializer_->WriteValue(error_message.empty() ? EncodableValue() : EncodableValue(error_message), stream);
    serializer_->WriteValue(error_details ? *error_details : EncodableValue(), stream);
  });
}

bool StandardMethodCodec::DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response, size_t response_size,
                                                                   MethodResult<EncodableValue>* result) const {
  if (response_size == 0) {
    result->NotImplemented();
    return true;
  }
  if (!response) return false;

  // The whole envelope is decoded and checked before `result` hears anything, so a bad envelope never
  // answers half-way.
  uint8_t flag = 0;
  EncodableValue value;
  std::string code;
  std::string message;
  try {
    ByteBufferStreamReader stream(response, response_size);
    StandardCodecSerializer::DecodeBudget budget(response_size);
    flag = stream.ReadByte();
    if (flag == kSuccessEnvelope) {
      value = serializer_->ReadValue(&stream);
    } else if (flag == kErrorEnvelope) {
      EncodableValue code_value = serializer_->ReadValue(&stream);
      EncodableValue message_value = serializer_->ReadValue(&stream);
      value = serializer_->ReadValue(&stream);  // details
      if (!std::holds_alternative<std::string>(code_value)) return false;
      if (!message_value.IsNull() && !std::holds_alternative<std::string>(message_value)) return false;
      code = std::get<std::string>(code_value);
      if (!message_value.IsNull()) message = std::get<std::string>(message_value);
      if (stream.BytesRemaining() != 0) {
        // Some senders append a stack trace (string or null) to error envelopes.
        EncodableValue stack_trace = serializer_->ReadValue(&stream);
        if (!stack_trace.IsNull() && !std::holds_alternative<std::string>(stack_trace)) return false;
      }
    } else {
      return false;
    }
    if (stream.BytesRemaining() != 0) return false;
  } catch (...) {
    return false;
  }

  if (flag == kSuccessEnvelope) {
    if (value.IsNull()) {
      result->Success();
    } else {
      result->Success(value);
    }
  } else if (value.IsNull()) {
    result->Error(code, message);
  } else {
    result->Error(code, message, value);
  }
  return true;
}

}  // namespace flutter
