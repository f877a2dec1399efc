// ByteBufferStreamReader / ByteBufferStreamWriter: byte streams over memory.
#include "flutter/byte_buffer_streams.h"

#include <cstring>

namespace flutter {

ByteBufferStreamReader::ByteBufferStreamReader(const uint8_t* bytes, size_t size)
    : bytes_(bytes), size_(bytes ? size : 0) {}

uint8_t ByteBufferStreamReader::ReadByte() {
  if (location_ >= size_) throw DecodeError("message ends early");
  return bytes_[location_++];
}

void ByteBufferStreamReader::ReadBytes(uint8_t* buffer, size_t length) {
  if (length > size_ - location_) throw DecodeError("message ends early");
  if (length == 0) return;  // memcpy with a null pointer is undefined even for 0 bytes
  std::memcpy(buffer, bytes_ + location_, length);
  location_ += length;
}

void ByteBufferStreamReader::ReadAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  size_t mod = location_ % alignment;
  if (mod == 0) return;
  size_t padding = alignment - mod;
  if (padding > size_ - location_) throw DecodeError("message ends inside padding");
  location_ += padding;
}

ByteBufferStreamWriter::ByteBufferStreamWriter(std::vector<uint8_t>* buffer) : buffer_(buffer) {}

void ByteBufferStreamWriter::WriteByte(uint8_t byte) { buffer_->push_back(byte); }

void ByteBufferStreamWriter::WriteBytes(const uint8_t* bytes, size_t length) {
  if (length == 0) return;
  buffer_->insert(buffer_->end(), bytes, bytes + length);
}

void ByteBufferStreamWriter::WriteAlignment(uint8_t alignment) {
  if (alignment == 0) return;
  size_t mod = buffer_->size() % alignment;
  if (mod == 0) return;
  buffer_->insert(buffer_->end(), alignment - mod, 0);
}

}  // namespace flutter
