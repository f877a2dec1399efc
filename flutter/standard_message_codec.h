// StandardMessageCodec: the MessageCodec for EncodableValue in the standard byte format (see
// standard_codec_serializer.h for the format).
//
// Thread safety: immutable; the shared instances may be used from any number of threads at once.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "flutter/encodable_value.h"
#include "flutter/message_codec.h"
#include "flutter/standard_codec_serializer.h"

namespace flutter {

class StandardMessageCodec : public MessageCodec<EncodableValue> {
 public:
  // The shared codec over `serializer` (the standard one when null). The serializer must outlive every
  // use of the codec; the codec lives until the process ends.
  static const StandardMessageCodec& GetInstance(const StandardCodecSerializer* serializer = nullptr);

  ~StandardMessageCodec() override;
  StandardMessageCodec(StandardMessageCodec const&) = delete;
  StandardMessageCodec& operator=(StandardMessageCodec const&) = delete;

 protected:
  // An empty message decodes to the null value (a channel's "no message"); otherwise the bytes must
  // hold exactly one value, or the result is nullptr.
  std::unique_ptr<EncodableValue> DecodeMessageInternal(const uint8_t* binary_message,
                                                        const size_t message_size) const override;
  std::unique_ptr<std::vector<uint8_t>> EncodeMessageInternal(const EncodableValue& message) const override;

 private:
  explicit StandardMessageCodec(const StandardCodecSerializer* serializer);

  const StandardCodecSerializer* serializer_;
};

}  // namespace flutter
