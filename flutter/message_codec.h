// MessageCodec<T>: turns messages of type T into bytes and back.
//
// Thread safety: codecs are immutable; one instance may be used from any number of threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace flutter {

template <typename T>
class MessageCodec {
 public:
  MessageCodec() = default;
  virtual ~MessageCodec() = default;
  MessageCodec(MessageCodec<T> const&) = delete;
  MessageCodec& operator=(MessageCodec<T> const&) = delete;

  // The decoded message, or nullptr when the bytes are not one well-formed message. Never throws for
  // bad input and never reads outside [binary_message, binary_message + message_size).
  std::unique_ptr<T> DecodeMessage(const uint8_t* binary_message, const size_t message_size) const {
    return DecodeMessageInternal(binary_message, message_size);
  }

  std::unique_ptr<T> DecodeMessage(const std::vector<uint8_t>& binary_message) const {
    size_t size = binary_message.size();
    const uint8_t* data = size > 0 ? binary_message.data() : nullptr;
    return DecodeMessageInternal(data, size);
  }

  // The encoded bytes, or nullptr when the message holds something the codec cannot write.
  std::unique_ptr<std::vector<uint8_t>> EncodeMessage(const T& message) const {
    return EncodeMessageInternal(message);
  }

 protected:
  virtual std::unique_ptr<T> DecodeMessageInternal(const uint8_t* binary_message,
                                                   const size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMessageInternal(const T& message) const = 0;
};

}  // namespace flutter
