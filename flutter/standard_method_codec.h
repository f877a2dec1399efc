// StandardMethodCodec: the MethodCodec for EncodableValue over the standard message format.
//
//   method call        = encoded name (a string value) followed by the encoded argument value
//   success envelope   = byte 0, then the result value
//   error envelope     = byte 1, then the code (string), the message (string, or null when empty) and
//                        the details value; a decoder also accepts a trailing stack trace (string or null)
//   not implemented    = the empty reply
//
// A method call whose arguments would decode to more than the message's decoding budget
// (StandardCodecSerializer) is decoded with its name and, in place of its arguments, one
// CustomEncodableValue holding OversizedArguments: so the receiver can answer it with a clear refusal,
// where a call that cannot be decoded at all can only be answered as not implemented.
//
// Thread safety: immutable; the shared instances may be used from any number of threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "flutter/encodable_value.h"
#include "flutter/method_call.h"
#include "flutter/method_codec.h"
#include "flutter/standard_codec_serializer.h"

namespace flutter {

struct OversizedArguments {
  size_t message_bytes = 0;  // the size of the encoded call
};

// The OversizedArguments that `arguments` holds in place of the call's arguments, or null.
const OversizedArguments* FindOversizedArguments(const EncodableValue* arguments);

class StandardMethodCodec : public MethodCodec<EncodableValue> {
 public:
  // The shared codec over `serializer` (the standard one when null). The serializer must outlive every
  // use of the codec; the codec lives until the process ends.
  static const StandardMethodCodec& GetInstance(const StandardCodecSerializer* serializer = nullptr);

  ~StandardMethodCodec() override;
  StandardMethodCodec(StandardMethodCodec const&) = delete;
  StandardMethodCodec& operator=(StandardMethodCodec const&) = delete;

 protected:
  std::unique_ptr<MethodCall<EncodableValue>> DecodeMethodCallInternal(const uint8_t* message,
                                                                       size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMethodCallInternal(
      const MethodCall<EncodableValue>& method_call) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeSuccessEnvelopeInternal(const EncodableValue* result) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeErrorEnvelopeInternal(
      const std::string& error_code, const std::string& error_message,
      const EncodableValue* error_details) const override;
  bool DecodeAndProcessResponseEnvelopeInternal(const uint8_t* response, size_t response_size,
                                                MethodResult<EncodableValue>* result) const override;

 private:
  explicit StandardMethodCodec(const StandardCodecSerializer* serializer);

  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter
