// ByteStreamReader / ByteStreamWriter: the byte sources and sinks the standard codec reads and writes.
//
// Alignment is measured from the start of the message: a reader or writer that starts mid-buffer must
// still count positions from the message's first byte.
//
// Readers report running out of bytes by throwing DecodeError; the codecs (MessageCodec, MethodCodec)
// catch it and return their failure value, so it never reaches code that only uses the codecs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>

namespace flutter {

// Thrown while decoding when a message is truncated or malformed. Never escapes the codec API.
class DecodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Thrown while encoding a value the serializer cannot write (a custom value, a size beyond 2^32 - 1).
// Never escapes the codec API.
class EncodeError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ByteStreamReader {
 public:
  virtual ~ByteStreamReader() = default;

  // The next byte. Throws DecodeError at the end of the data.
  virtual uint8_t ReadByte() = 0;

  // The next `length` bytes into `buffer`. Throws DecodeError, reading nothing, when fewer remain.
  virtual void ReadBytes(uint8_t* buffer, size_t length) = 0;

  // Skips to the next position that is a multiple of `alignment`. Throws DecodeError when the padding
  // runs past the end.
  virtual void ReadAlignment(uint8_t alignment) = 0;
};

class ByteStreamWriter {
 public:
  virtual ~ByteStreamWriter() = default;

  virtual void WriteByte(uint8_t byte) = 0;
  virtual void WriteBytes(const uint8_t* bytes, size_t length) = 0;
  // Writes zero bytes up to the next position that is a multiple of `alignment`.
  virtual void WriteAlignment(uint8_t alignment) = 0;
};

}  // namespace flutter
