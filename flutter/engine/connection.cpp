// Connection: one client's frames, requests, replies and limits.
#include "flutter/engine/connection.h"

#include <algorithm>
#include <utility>

#include "flutter/log.h"
#include "flutter/standard_method_codec.h"

namespace flutter::engine {
namespace {

// A write buffer that grew for a large reply is given back once it has been written.
constexpr size_t kKeptWriteBufferBytes = size_t{1} << 20;

void PutU32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void ReleaseIfLarge(std::vector<uint8_t>& buffer) {
  if (buffer.capacity() > kKeptWriteBufferBytes) {
    std::vector<uint8_t>().swap(buffer);
  } else {
    buffer.clear();
  }
}

// Adds `bytes` to `total` unless that takes it beyond `limit`.
bool Reserve(std::atomic<size_t>& total, size_t bytes, size_t limit, size_t* held) {
  size_t current = total.load();
  do {
    *held = current;
    if (current + bytes > limit) return false;
  } while (!total.compare_exchange_weak(current, current + bytes));
  return true;
}

}  // namespace

Connection::Connection(std::string name, std::shared_ptr<TransportShared> shared)
    : name_(std::move(name)), shared_(std::move(shared)) {}

Connection::~Connection() {
  Close();
}

void Connection::QueueReply(uint32_t id, const uint8_t* envelope, size_t size) {
  const size_t frame_bytes = 4 + 5 + size;
  {
    std::lock_guard lock(mutex_);
    if (closed_) return;
    if (output_bytes_.load() + frame_bytes > shared_->limits.connection_output_hard_bytes &&
        output_bytes_.load() > 0) {
      // The client stopped reading while earlier requests were still being answered: it is dropped
      // rather than let its replies take the host's memory.
      overrun_ = true;
      closed_ = true;
      DiscardQueued();
    } else {
      PutU32(incoming_, static_cast<uint32_t>(5 + size));
      incoming_.push_back(kReplyKind);
      PutU32(incoming_, id);
      if (size) incoming_.insert(incoming_.end(), envelope, envelope + size);
      output_bytes_.fetch_add(frame_bytes);
      shared_->output_bytes.fetch_add(frame_bytes);
    }
  }
  shared_->wakeup.NotifyOnce();
}

void Connection::Receive(EngineMessenger& messenger, const uint8_t* data, size_t size) {
  const TransportLimits& limits = shared_->limits;
  frames_.Feed(data, size);
  std::vector<uint8_t> body;
  for (;;) {
    switch (frames_.Take(&body)) {
      case FrameReader::Step::kNeedMore:
        return;
      case FrameReader::Step::kDecide: {
        const size_t length = frames_.next_length();
        size_t held = 0;
        if (length > kMaxFrameBytes) {
          Refuse("above the limit of " + std::to_string(kMaxFrameBytes) + " bytes");
        } else if (length < limits.large_request_bytes) {
          frames_.Admit();
        } else if (Reserve(shared_->large_request_bytes, length, limits.total_large_request_bytes, &held)) {
          large_admitted_ = true;
          frames_.Admit();
        } else {
          Refuse("the host already holds " + std::to_string(held) + " bytes of large requests (at most " +
                 std::to_string(limits.total_large_request_bytes) + ")");
        }
        break;
      }
      case FrameReader::Step::kBody:
        Admit(messenger, body, std::exchange(large_admitted_, false));
        break;
      case FrameReader::Step::kRefused:
        AnswerRefused(frames_.refused());
        break;
    }
  }
}

void Connection::Admit(EngineMessenger& messenger, const std::vector<uint8_t>& body, bool large) {
  std::string error;
  auto request = ParseRequest(body.data(), body.size(), &error);
  if (!request) {
    if (large) shared_->large_request_bytes.fetch_sub(body.size());
    LogInputLine("ERROR: malformed frame from " + name_ + " skipped: " + error);
    return;
  }
  const uint32_t id = request->id;
  ReplyTarget target;
  target.send = [connection = shared_from_this(), id, token = TrackRequest(body.size(), large)](
                    const uint8_t* envelope, size_t size) { connection->QueueReply(id, envelope, size); };
  messenger.DeliverMessage(std::move(request->channel), std::move(request->message), std::move(target));
}

void Connection::Refuse(std::string why) {
  LogInputLine("ERROR: request of " + std::to_string(frames_.next_length()) + " bytes from " + name_ +
               " refused: " + why);
  refusal_ = std::move(why);
  frames_.Refuse();
}

void Connection::AnswerRefused(const FrameReader::Refused& refused) {
  // Answered once the whole frame has streamed past, as if it had been read.
  if (!refused.has_header || refused.kind != kRequestKind) return;
  const auto envelope = StandardMethodCodec::GetInstance().EncodeErrorEnvelope(
      kRequestTooLargeCode, "Request of " + std::to_string(refused.length) + " bytes refused: " + refusal_);
  if (envelope) QueueReply(refused.id, envelope->data(), envelope->size());
}

std::shared_ptr<void> Connection::TrackRequest(size_t bytes, bool large) {
  if (!large) {
    request_bytes_.fetch_add(bytes);
    shared_->request_bytes.fetch_add(bytes);
  }
  requests_.fetch_add(1);
  // The token holds no object, only the release; the connection outlives it through `self`.
  return std::shared_ptr<void>(nullptr,
                               [self = shared_from_this(), bytes, large](void*) { self->ReleaseRequest(bytes, large); });
}

void Connection::ReleaseRequest(size_t bytes, bool large) {
  if (large) {
    shared_->large_request_bytes.fetch_sub(bytes);
  } else {
    request_bytes_.fetch_sub(bytes);
    shared_->request_bytes.fetch_sub(bytes);
  }
  requests_.fetch_sub(1);
  // A client paused for its requests in flight may be read again.
  shared_->wakeup.NotifyOnce();
}

bool Connection::InputEnded() {
  if (large_admitted_) {
    shared_->large_request_bytes.fetch_sub(frames_.next_length());
    large_admitted_ = false;
  }
  const size_t pending = frames_.pending_bytes();
  frames_ = FrameReader();
  if (pending == 0) return true;
  LogInputLine("ERROR: frame from " + name_ + " cut short by the end of input (" + std::to_string(pending) +
               " bytes dropped)");
  return false;
}

void Connection::ReadFailed(const std::string& reason) { LogLine("ERROR: cannot read from " + name_ + ": " + reason); }

bool Connection::ReadPaused() const {
  const TransportLimits& limits = shared_->limits;
  return output_bytes_.load() >= limits.connection_output_bytes ||
         request_bytes_.load() >= limits.connection_request_bytes ||
         requests_.load() >= limits.connection_requests ||
         shared_->output_bytes.load() >= limits.total_output_bytes ||
         shared_->request_bytes.load() >= limits.total_request_bytes ||
         (limits.read_gate != nullptr && limits.read_gate->held());
}

Connection::Bytes Connection::Output(Clock::time_point now) {
  std::lock_guard lock(mutex_);
  if (closed_) {
    std::vector<uint8_t>().swap(writing_);
    written_ = 0;
    return {};
  }
  if (written_ == writing_.size()) {
    ReleaseIfLarge(writing_);
    written_ = 0;
    writing_.swap(incoming_);
    if (writing_.empty()) return {};
    // Either everything before was just taken or the connection was idle: the wait starts now.
    last_progress_ = now;
  }
  return {writing_.data() + written_, writing_.size() - written_};
}

void Connection::Wrote(size_t bytes, Clock::time_point now) {
  std::lock_guard lock(mutex_);
  if (closed_) return;
  written_ += bytes;
  last_progress_ = now;
  output_bytes_.fetch_sub(bytes);
  shared_->output_bytes.fetch_sub(bytes);
}

void Connection::WriteFailed(bool gone, const std::string& reason) {
  std::lock_guard lock(mutex_);
  write_failure_ = gone ? Drop::kLeft : Drop::kFailed;
  write_error_ = reason;
  closed_ = true;
  DiscardQueued();
}

std::optional<Connection::Drop> Connection::Check(Clock::time_point now) {
  std::string line;
  std::optional<Drop> drop;
  {
    std::lock_guard lock(mutex_);
    const TransportLimits& limits = shared_->limits;
    if (overrun_) {
      line = "ERROR: " + name_ + " stopped reading while its replies piled up beyond " +
             std::to_string(limits.connection_output_hard_bytes) + " bytes; connection dropped";
      drop = Drop::kFailed;
    } else if (write_failure_) {
      if (*write_failure_ == Drop::kFailed) line = "ERROR: cannot write replies to " + name_ + ": " + write_error_;
      drop = write_failure_;
    } else if (written_ < writing_.size() && now - last_progress_ >= limits.stuck_limit) {
      line = "ERROR: " + name_ + " took no reply for " + std::to_string(limits.stuck_limit.count()) +
             " ms; connection dropped with " + std::to_string(output_bytes_.load()) + " bytes unsent";
      drop = Drop::kFailed;
    }
    if (drop) {
      closed_ = true;
      DiscardQueued();
    }
  }
  if (!line.empty()) LogLine(line);
  return drop;
}

std::optional<Connection::Drop> Connection::CheckAtClose(Clock::time_point now, Clock::time_point give_up) {
  if (auto drop = Check(now)) return drop;
  std::string line;
  {
    std::lock_guard lock(mutex_);
    if (closed_ || output_bytes_.load() == 0) return std::nullopt;
    const bool stalled = written_ < writing_.size() && now - last_progress_ >= shared_->limits.drain_limit;
    if (!stalled && now < give_up) return std::nullopt;
    line = "ERROR: " + name_ + " took no reply at close; " + std::to_string(output_bytes_.load()) +
           " bytes of replies dropped";
    closed_ = true;
    DiscardQueued();
  }
  LogLine(line);
  return Drop::kFailed;
}

Connection::Clock::time_point Connection::StuckAt() const {
  std::lock_guard lock(mutex_);
  if (closed_ || written_ == writing_.size()) return Clock::time_point::max();
  return last_progress_ + shared_->limits.stuck_limit;
}

Connection::Clock::time_point Connection::DrainAt(Clock::time_point give_up) const {
  std::lock_guard lock(mutex_);
  if (closed_ || written_ == writing_.size()) return Clock::time_point::max();
  return std::min(give_up, last_progress_ + shared_->limits.drain_limit);
}

void Connection::Close() {
  if (large_admitted_) {
    // What it was sending is of no use now.
    shared_->large_request_bytes.fetch_sub(frames_.next_length());
    large_admitted_ = false;
  }
  frames_ = FrameReader();
  std::lock_guard lock(mutex_);
  closed_ = true;
  DiscardQueued();
}

void Connection::DiscardQueued() {
  std::vector<uint8_t>().swap(incoming_);
  // Whatever was still queued or unwritten is dropped with the connection.
  const size_t unsent = output_bytes_.exchange(0);
  shared_->output_bytes.fetch_sub(unsent);
}

bool Connection::writing() const {
  std::lock_guard lock(mutex_);
  return !closed_ && written_ < writing_.size();
}

bool Connection::closed() const {
  std::lock_guard lock(mutex_);
  return closed_;
}

}  // namespace flutter::engine
