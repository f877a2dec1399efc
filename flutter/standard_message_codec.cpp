// StandardMessageCodec: one EncodableValue per message in the standard format.
#include "flutter/standard_message_codec.h"

#include <iostream>
#include <map>
#include <mutex>

#include "flutter/byte_buffer_streams.h"

namespace flutter {

const StandardMessageCodec& StandardMessageCodec::GetInstance(const StandardCodecSerializer* serializer) {
  if (!serializer) serializer = &StandardCodecSerializer::GetInstance();
  // One codec per serializer, created on first use and kept for the life of the process.
  static std::mutex mutex;
  static auto* codecs = new std::map<const StandardCodecSerializer*, std::unique_ptr<StandardMessageCodec>>();
  std::lock_guard<std::mutex> lock(mutex);
  auto found = codecs->find(serializer);
  if (found == codecs->end()) {
    found = codecs->emplace(serializer, std::unique_ptr<StandardMessageCodec>(new StandardMessageCodec(serializer)))
                .first;
  }
  return *found->second;
}

StandardMessageCodec::StandardMessageCodec(const StandardCodecSerializer* serializer) : serializer_(serializer) {}

StandardMessageCodec::~StandardMessageCodec() = default;

std::unique_ptr<EncodableValue> StandardMessageCodec::DecodeMessageInternal(const uint8_t* binary_message,
                                                                           const size_t message_size) const {
  if (message_size == 0) return std::make_unique<EncodableValue>();
  if (!binary_message) return nullptr;
  try {
    ByteBufferStreamReader stream(binary_message, message_size);
    StandardCodecSerializer::DecodeBudget budget(message_size);
    auto value = std::make_unique<EncodableValue>(serializer_->ReadValue(&stream));
    if (stream.BytesRemaining() != 0) return nullptr;  // one message is exactly one value
    return value;
  } catch (...) {
    // DecodeError for bad bytes, bad_alloc, or whatever a custom serializer throws: all mean "no message".
    return nullptr;
  }
}

std::unique_ptr<std::vector<uint8_t>> StandardMessageCodec::EncodeMessageInternal(
    const EncodableValue& message) const {
  auto encoded = std::make_unique<std::vector<uint8_t>>();
  try {
    ByteBufferStreamWriter stream(encoded.get());
    serializer_->WriteValue(message, &stream);
  } catch (const std::exception& error) {
    std::cerr << error.what() << std::endl;
    return nullptr;
  }
  return encoded;
}

}  // namespace flutter
