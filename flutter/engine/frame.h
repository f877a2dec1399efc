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

// Splits a byte stream into frame bodies. Feed it whatever a read returned; take whole bodies with Next
// (clients: every frame up to kMaxFrameBytes is taken) or frame by frame with Take (servers: each frame is
// admitted or refused when its length is known, and a refused frame is skipped as it streams in, never
// held).
// Thread safety: none; one reader per stream.
class FrameReader {
 public:
  void Feed(const uint8_t* data, size_t size);

  // Moves the next complete body into `*body` and returns true; false when none is complete yet. A length
  // prefix above kMaxFrameBytes poisons the reader (failed()); Next then always returns false.
  bool Next(std::vector<uint8_t>* body);
  bool failed() const { return failed_; }

  enum class Step {
    kNeedMore,  // nothing more can be taken until more is fed
    kDecide,    // the next frame's length is known (next_length()): call Admit or Refuse before going on
    kBody,      // `*body` holds the next admitted frame's body
    kRefused,   // a refused frame has been skipped whole: refused() says what it was
  };
  Step Take(std::vector<uint8_t>* body);
  uint32_t next_length() const { return length_; }
  void Admit();
  void Refuse();

  // The last refused frame: its length and, when it was long enough to carry them, its kind and id.
  struct Refused {
    uint32_t length = 0;
    bool has_header = false;
    uint8_t kind = 0;
    uint32_t id = 0;
  };
  const Refused& refused() const { return refused_; }

  // Bytes of an unfinished frame (held, or still to be skipped) fed so far: at end of input these are a
  // frame cut short.
  size_t pending_bytes() const;
  // Bytes of memory the reader holds (what a large frame made it grow to, until that frame is taken).
  size_t held_bytes() const { return buffer_.capacity(); }

  // A buffer grown beyond this for a large frame is released once everything fed has been taken.
  static constexpr size_t kKeptBufferBytes = 1u << 20;

 private:
  enum class State { kLength, kDecide, kBody, kSkip };
  void Consumed(size_t bytes);
  void FinishSkip();

  std::vector<uint8_t> buffer_;
  size_t start_ = 0;
  State state_ = State::kLength;
  uint32_t length_ = 0;
  // Skipping a refused frame: what is left of it, and its header bytes seen so far.
  size_t skip_left_ = 0;
  size_t skipped_ = 0;
  uint8_t header_[5] = {};
  Refused refused_;
  bool refused_ready_ = false;  // Take reports the refused frame next
  bool failed_ = false;
};

}  // namespace flutter::engine
