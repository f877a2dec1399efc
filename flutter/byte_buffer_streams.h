// ByteBufferStreamReader / ByteBufferStreamWriter: the byte streams over memory that the codecs use.
//
// Thread safety: none of their own; one thread uses a stream at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "flutter/byte_streams.h"

namespace flutter {

// Reads from a caller-owned block that must outlive the reader. Never reads outside the block: a read
// past its end throws DecodeError and leaves the position unchanged.
class ByteBufferStreamReader : public ByteStreamReader {
 public:
  // `bytes` may be null when `size` is 0.
  explicit ByteBufferStreamReader(const uint8_t* bytes, size_t size);
  ~ByteBufferStreamReader() override = default;

  uint8_t ReadByte() override;
  void ReadBytes(uint8_t* buffer, size_t length) override;
  void ReadAlignment(uint8_t alignment) override;

  // Bytes not read yet; 0 once the whole block has been consumed.
  size_t BytesRemaining() const { return size_ - location_; }

 private:
  const uint8_t* bytes_;
  size_t size_ = 0;
  size_t location_ = 0;
};

// Appends to a caller-owned vector that must outlive the writer. Alignment counts from the vector's
// first byte, so the vector should hold only the message being written.
class ByteBufferStreamWriter : public ByteStreamWriter {
 public:
  explicit ByteBufferStreamWriter(std::vector<uint8_t>* buffer);
  ~ByteBufferStreamWriter() override = default;

  void WriteByte(uint8_t byte) override;
  void WriteBytes(const uint8_t* bytes, size_t length) override;
  void WriteAlignment(uint8_t alignment) override;

 private:
  std::vector<uint8_t>* buffer_;
};

}  // namespace flutter
