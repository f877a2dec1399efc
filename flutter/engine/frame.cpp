// The transport frame format.
#include "flutter/engine/frame.h"

#include <algorithm>
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
  if (failed_) return;
  if (state_ == State::kSkip) {
    // A refused frame streams past without being held; only its header is kept, for its answer.
    const size_t n = std::min(skip_left_, size);
    for (size_t i = 0; i < n && skipped_ + i < sizeof header_; ++i) header_[skipped_ + i] = data[i];
    skip_left_ -= n;
    skipped_ += n;
    data += n;
    size -= n;
    if (skip_left_ == 0) FinishSkip();
  }
  if (size == 0) return;
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

FrameReader::Step FrameReader::Take(std::vector<uint8_t>* body) {
  if (refused_ready_) {
    refused_ready_ = false;
    return Step::kRefused;
  }
  const size_t buffered = buffer_.size() - start_;
  switch (state_) {
    case State::kLength:
      if (failed_ || buffered < 4) return Step::kNeedMore;
      length_ = GetU32(buffer_.data() + start_);
      Consumed(4);
      state_ = State::kDecide;
      return Step::kDecide;
    case State::kDecide:
      return Step::kDecide;
    case State::kBody: {
      if (buffered < length_) return Step::kNeedMore;
      const auto first = buffer_.begin() + static_cast<std::ptrdiff_t>(start_);
      body->assign(first, first + length_);
      Consumed(length_);
      state_ = State::kLength;
      return Step::kBody;
    }
    case State::kSkip:
      break;
  }
  return Step::kNeedMore;
}

void FrameReader::Admit() {
  if (state_ == State::kDecide) state_ = State::kBody;
}

void FrameReader::Refuse() {
  if (state_ != State::kDecide) return;
  const size_t n = std::min<size_t>(buffer_.size() - start_, length_);
  for (size_t i = 0; i < n && i < sizeof header_; ++i) header_[i] = buffer_[start_ + i];
  Consumed(n);
  skipped_ = n;
  skip_left_ = length_ - n;
  state_ = State::kSkip;
  if (skip_left_ == 0) FinishSkip();
}

void FrameReader::FinishSkip() {
  refused_ = Refused{length_, skipped_ >= sizeof header_, header_[0], GetU32(header_ + 1)};
  refused_ready_ = true;
  skipped_ = 0;
  state_ = State::kLength;
}

bool FrameReader::Next(std::vector<uint8_t>* body) {
  for (;;) {
    switch (Take(body)) {
      case Step::kBody:
        return true;
      case Step::kDecide:
        if (length_ > kMaxFrameBytes) {
          failed_ = true;
          std::vector<uint8_t>().swap(buffer_);
          start_ = 0;
          return false;
        }
        Admit();
        break;
      case Step::kRefused:
        break;
      case Step::kNeedMore:
        return false;
    }
  }
}

size_t FrameReader::pending_bytes() const {
  if (state_ == State::kLength) return buffer_.size() - start_;
  return 4 + (state_ == State::kSkip ? skipped_ : buffer_.size() - start_);
}

void FrameReader::Consumed(size_t bytes) {
  start_ += bytes;
  if (start_ != buffer_.size()) return;
  // Everything taken: a buffer that grew for a large frame is given back rather than kept for good.
  if (buffer_.capacity() > kKeptBufferBytes) {
    std::vector<uint8_t>().swap(buffer_);
  } else {
    buffer_.clear();
  }
  start_ = 0;
}

}  // namespace flutter::engine
