// The transport frame format: length-prefixed request and reply frames (all integers little-endian).
//
//   frame   = u32 length N, then N bytes
//   request = u8 1, u32 id, u16 L, L bytes channel name (UTF-8), encoded method call
//   reply   = u8 2, u32 id, encoded reply envelope (zero bytes = not implemented)
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace flutter::engine {

inline constexpr uint8_t kRequestKind = 1;
inline constexpr uint8_t kReplyKind = 2;
// Bigger frames are refused before anything is allocated, so a hostile length cannot cost gigabytes.
inline constexpr uint32_t kMaxFrameBytes = 64u * 1024u * 1024u;

struct Request {
  uint32_t id = 0;
  std::string channel;
  std::vector<uint8_t> message;  // the encoded method call, unchecked
};

struct Reply {
  uint32_t id = 0;
  std::vector<uint8_t> envelope;  // empty = not implemented
};

// Whole frames, length prefix included. A channel name longer than 65535 bytes cannot be framed:
// EncodeRequest then returns an empty vector.
std::vector<uint8_t> EncodeRequest(uint32_t id, const std::string& channel, const uint8_t* message, size_t size);
std::vector<uint8_t> EncodeReply(uint32_t id, const uint8_t* envelope, size_t size);

// Frame bodies (without the length prefix). Return std::nullopt and set `*error` (when given) to a short
// reason when the body is not a well-formed frame of that kind.
std::optional<Request> ParseRequest(const uint8_t* body, size_t size, std::string* error = nullptr);
std::optional<Reply> ParseReply(const uint8_t* body, size_t size, std::string* error = nullptr);

// Splits a byte stream into frame bodies. Feed it whatever a read returned; take whole bodies with Next.
// A length prefix above kMaxFrameBytes poisons the reader (the stream cannot be resynchronised).
// Thread safety: none; one reader per stream.
class FrameReader {
 public:
  void Feed(const uint8_t* data, size_t size);
  // Moves the next complete body into `*body` and returns true; false when none is complete yet.
  bool Next(std::vector<uint8_t>* body);
  // True after a hostile length prefix; Next then always returns false.
  bool failed() const { return failed_; }
  // Bytes of an incomplete frame still held (at end of input these are a frame cut short).
  size_t pending_bytes() const { return buffer_.size() - start_; }
  // Bytes of memory the reader holds (what a large frame made it grow to, until that frame is taken).
  size_t held_bytes() const { return buffer_.capacity(); }

  // A buffer grown beyond this for a large frame is released once everything fed has been taken.
  static constexpr size_t kKeptBufferBytes = 1u << 20;

 private:
  std::vector<uint8_t> buffer_;
  size_t start_ = 0;
  bool failed_ = false;
};

}  // namespace flutter::engine
