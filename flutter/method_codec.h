// MethodCodec<T>: turns method calls and their answers (envelopes) into bytes and back.
//
// Thread safety: codecs are immutable; one instance may be used from any number of threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "flutter/method_call.h"
#include "flutter/method_result.h"

namespace flutter {

template <typename T>
class MethodCodec {
 public:
  MethodCodec() = default;
  virtual ~MethodCodec() = default;
  MethodCodec(MethodCodec<T> const&) = delete;
  MethodCodec& operator=(MethodCodec<T> const&) = delete;

  // The decoded call, or nullptr when the bytes are not exactly one method call (name that is not a
  // string, truncation, trailing bytes, ...). Never throws for bad input, never reads outside the block.
  std::unique_ptr<MethodCall<T>> DecodeMethodCall(const uint8_t* message, size_t message_size) const {
    return DecodeMethodCallInternal(message, message_size);
  }

  std::unique_ptr<MethodCall<T>> DecodeMethodCall(const std::vector<uint8_t>& message) const {
    size_t size = message.size();
    const uint8_t* data = size > 0 ? message.data() : nullptr;
    return DecodeMethodCallInternal(data, size);
  }

  // The encoded call, or nullptr when its arguments hold something the codec cannot write.
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCall(const MethodCall<T>& method_call) const {
    return EncodeMethodCallInternal(method_call);
  }

  // A success envelope carrying `result` (null when `result` is null), or nullptr when the value cannot
  // be written.
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelope(const T* result = nullptr) const {
    return EncodeSuccessEnvelopeInternal(result);
  }

  // An error envelope, or nullptr when the details cannot be written.
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelope(const std::string& error_code,
                                                            const std::string& error_message = "",
                                                            const T* error_details = nullptr) const {
    return EncodeErrorEnvelopeInternal(error_code, error_message, error_details);
  }

  // Decodes a reply envelope and gives its answer to `result`: an empty reply is NotImplemented, a
  // success envelope Success, an error envelope Error. Returns false, without touching `result`, when
  // the bytes are not a well-formed envelope.
  bool DecodeAndProcessResponseEnvelope(const uint8_t* response, size_t response_size,
                                        MethodResult<T>* result) const {
    return DecodeAndProcessResponseEnvelopeInternal(response, response_size, result);
  }

 protected:
  virtual std::unique_ptr<MethodCall<T>> DecodeMethodCallInternal(const uint8_t* message,
                                                                  size_t message_size) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
      const MethodCall<T>& method_call) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelopeInternal(const T* result) const = 0;
  virtual std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelopeInternal(
      const std::string& error_code, const std::string& error_message, const T* error_details) const = 0;
  virtual bool DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response, size_t response_size,
                                                        MethodResult<T>* result) const = 0;
};

}  // namespace flutter
