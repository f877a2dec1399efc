// StandardCodecSerializer: reads and writes EncodableValues in the standard message codec's byte format.
//
// Format (all integers little-endian, alignment counted from the start of the message):
//   one type byte, then the payload:
//     0 null, 1 true, 2 false            no payload
//     3 int32                            4 bytes
//     4 int64                            8 bytes
//     5 large integer                    not supported: decoding fails
//     6 float64                          padding to a multiple of 8, then 8 bytes
//     7 string (UTF-8)                   size, bytes
//     8 uint8 list                       size, bytes
//     9 int32 list                       size, padding to 4, 4 bytes each
//    10 int64 list                       size, padding to 8, 8 bytes each
//    11 float64 list                     size, padding to 8, 8 bytes each
//    12 list                             size, that many values
//    13 map                              size, that many key value pairs
//    14 float32 list                     size, padding to 4, 4 bytes each
//   size: below 254 one byte; up to 0xFFFF the byte 254 then a u16; beyond that 255 then a u32.
//
// Reading is safe on hostile input: it never reads outside the stream, allocates no more than the
// bytes actually present justify (declared lengths are checked against the data as it is read, never
// trusted up front), and refuses values nested more than kMaxNestingDepth deep. A decoding budget keeps a
// message from costing many times its size in decoded values: a one-byte null costs a whole
// EncodableValue, so a list of a million nulls would take some 50 times the bytes it came in. While a
// DecodeBudget is open on the thread (the codecs open one per message), the values read may take at most
// kDecodeExpansion times the message's size plus kDecodeAllowanceBytes, and never more than
// kMaxDecodedBytes, counted as the values' own size, the bytes of strings and typed lists, and the nodes of
// maps (DecodedBytes counts a value so). A failure is a thrown DecodeError (DecodeBudgetSpent for a spent
// budget); the codecs turn it into their failure value.
//
// Subclasses extend the format for custom values by overriding WriteValue and ReadValueOfType.
//
// Thread safety: stateless; the shared instance may be used from any number of threads at once.
#pragma once

#include <cstddef>
#include <cstdint>

#include "flutter/byte_streams.h"
#include "flutter/encodable_value.h"

namespace flutter {

// The decoding budget of a message was spent: its values would take more than the budget allows.
class DecodeBudgetSpent : public DecodeError {
 public:
  using DecodeError::DecodeError;
};

class StandardCodecSerializer {
 public:
  // The deepest nesting ReadValue accepts: a value at the top is at depth 1, each list or map adds one.
  static constexpr int kMaxNestingDepth = 256;
  // The decoding budget of a message of N bytes: kDecodeExpansion * N + kDecodeAllowanceBytes. Ordinary
  // messages stay far below it (a list of int32 values costs about 11 times its bytes, strings about 1 to
  // 3 times); a list of nulls or booleans would cost over 50 times.
  static constexpr size_t kDecodeExpansion = 16;
  static constexpr size_t kDecodeAllowanceBytes = size_t{16} << 20;
  // The most one message may decode to, whatever its size: a request too large to hold (200,000 bake
  // requests decode to over a gigabyte) is refused before it is held, not held and then refused.
  static constexpr size_t kMaxDecodedBytes = size_t{64} << 20;

  // What the decoding budget counts for `value`, as if it had just been read.
  static size_t DecodedBytes(const EncodableValue& value);

  // Opens the decoding budget of one message of `message_size` bytes on the calling thread, for as long
  // as it lives; ReadValue calls made meanwhile on this thread charge it. Scopes nest: the innermost one
  // is charged. Without an open budget ReadValue is limited by nesting depth only.
  class DecodeBudget {
   public:
    explicit DecodeBudget(size_t message_size);
    ~DecodeBudget();
    DecodeBudget(const DecodeBudget&) = delete;
    DecodeBudget& operator=(const DecodeBudget&) = delete;

    // Counts `bytes` of decoded values; throws DecodeError once the budget is spent.
    void Charge(size_t bytes);

   private:
    size_t remaining_;
    DecodeBudget* outer_;
  };

  virtual ~StandardCodecSerializer();
  StandardCodecSerializer(StandardCodecSerializer const&) = delete;
  StandardCodecSerializer& operator=(StandardCodecSerializer const&) = delete;

  // The process-wide serializer for the standard kinds.
  static const StandardCodecSerializer& GetInstance();

  // Reads one value. Throws DecodeError on truncated or malformed data, nesting beyond kMaxNestingDepth or
  // a spent decoding budget; std::bad_alloc only if memory runs out for data really present.
  EncodableValue ReadValue(ByteStreamReader* stream) const;

  // Writes one value. Throws EncodeError for a CustomEncodableValue (the standard format has no kind
  // for it) and for a string or list longer than 2^32 - 1.
  virtual void WriteValue(const EncodableValue& value, ByteStreamWriter* stream) const;

 protected:
  StandardCodecSerializer();

  // Reads the payload of a value whose type byte has been read. Throws DecodeError for a type it does
  // not know.
  virtual EncodableValue ReadValueOfType(uint8_t type, ByteStreamReader* stream) const;

  // The size prefix of strings, lists and maps.
  size_t ReadSize(ByteStreamReader* stream) const;
  void WriteSize(size_t size, ByteStreamWriter* stream) const;
};

}  // namespace flutter
