// The transport frame format.
#include "flutter/engine/frame.h"

#include <cstring>

namespace flutter::engine {
namespace {

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

uint32_t GetU32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void SetError(std::string* error, const char* text) {
  if (error) *error = text;
}

}  // namespace

std::vector<uint8_t> EncodeRequest(uint32_t id, const std::string& channel, const uint8_t* message, size_t size) {
  const size_t body = 1 + 4 + 2 + channel.size() + size;
  if (channel.size() > 0xFFFF || body > kMaxFrameBytes) return {};
  std::vector<uint8_t> out;
  out.reserve(4 + body);
  PutU32(out, static_cast<uint32_t>(body));
  out.push_back(kRequestKind);
  PutU32(out, id);
  out.push_back(static_cast<uint8_t>(channel.size()));
  out.push_back(static_cast<uint8_t>(channel.size() >> 8));
  out.insert(out.end(), channel.begin(), channel.end());
  if (size) out.insert(out.end(), message, message + size);
  return out;
}

std::vector<uint8_t> EncodeReply(uint32_t id, const uint8_t* envelope, size_t size) {
  std::vector<uint8_t> out;
  out.reserve(4 + 5 + size);
  PutU32(out, static_cast<uint32_t>(5 + size));
  out.push_back(kReplyKind);
  PutU32(out, id);
  if (size) out.insert(out.end(), envelope, envelope + size);
  return out;
}

std::optional<Request> ParseRequest(const uint8_t* body, size_t size, std::string* error) {
  if (size < 7) {
    SetError(error, "request frame shorter than its header");
    return std::nullopt;
  }
  if (body[0] != kRequestKind) {
    SetError(error, "unknown frame kind");
    return std::nullopt;
  }
  const size_t name_size = body[5] | size_t{body[6]} << 8;
  if (name_size > size - 7) {
    SetError(error, "channel name longer than the frame");
    return std::nullopt;
  }
  Request request;
  request.id = GetU32(body + 1);
  request.channel.assign(reinterpret_cast<const char*>(body + 7), name_size);
  request.message.assign(body + 7 + name_size, body + size);
  return request;
}

std::optional<Reply> ParseReply(const uint8_t* body, size_t size, std::string* error) {
  if (size < 5) {
    SetError(error, "reply frame shorter than its header");
    return std::nullopt;
  }
  if (body[0] != kReplyKind) {
    SetError(error, "unknown frame kind");
    return std::nullopt;
  }
  Reply reply;
  reply.id = GetU32(body + 1);
  reply.envelope.assign(body + 5, body + size);
  return reply;
}

void FrameReader::Feed(const uint8_t* data, size_t size) {
  if (failed_ || size == 0) return;
  // Drop consumed bytes before growing, so the buffer stays about one frame long.
  if (start_ > 0 && start_ == buffer_.size()) {
    buffer_.clear();
    start_ = 0;
  } else if (start_ > (1u << 16) && start_ * 2 > buffer_.size()) {
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(start_));
    start_ = 0;
  }
  buffer_.insert(buffer_.end(), data, data + size);
}

bool FrameReader::Next(std::vector<uint8_t>* body) {
  if (failed_ || pending_bytes() < 4) return false;
  const uint32_t length = GetU32(buffer_.data() + start_);
  if (length > kMaxFrameBytes) {
    failed_ = true;
    buffer_.clear();
    start_ = 0;
    return false;
  }
  if (pending_bytes() - 4 < length) return false;
  const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(start_ + 4);
  body->assign(first, first + length);
  start_ += 4 + length;
  if (start_ == buffer_.size()) {
    // Everything taken: a buffer that grew for a large frame is given back rather than kept for good.
    if (buffer_.capacity() > kKeptBufferBytes) {
      std::vector<uint8_t>().swap(buffer_);
    } else {
      buffer_.clear();
    }
    start_ = 0;
  }
  return true;
}

}  // namespace flutter::engine
