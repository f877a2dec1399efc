// A BinaryMessenger for channel tests: keeps one handler per channel name and delivers encoded calls
// to it, capturing each reply decoded back into an answer.
#pragma once

#include <chrono>
#include <condition_variable>
#include <map>
#include <mutex>
#include <memory>
#include <string>
#include <vector>

#include "flutter/binary_messenger.h"
#include "flutter/encodable_value.h"
#include "flutter/method_call.h"
#include "flutter/method_result_functions.h"
#include "flutter/standard_method_codec.h"

namespace runner::testing {

// One decoded reply.
struct Answer {
  enum class Kind { kNone, kSuccess, kError, kNotImplemented } kind = Kind::kNone;
  flutter::EncodableValue value;  // success value, or error details
  std::string error_code;
  std::string error_message;
  int replies = 0;  // how many times the reply function was called

  bool not_implemented() const { return kind == Kind::kNotImplemented && replies == 1; }

  Answer() = default;
  // A snapshot of the fields (not of the lock).
  Answer(const Answer& other)
      : kind(other.kind), value(other.value), error_code(other.error_code), error_message(other.error_message),
        replies(other.replies) {}

  // Replies may come from a worker thread: they are recorded under `mutex`, and `replied` is notified.
  mutable std::mutex mutex;
  mutable std::condition_variable replied;
};

class RecordingMessenger : public flutter::BinaryMessenger {
 public:
  void Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply reply) const override {
    if (reply) reply(nullptr, 0);
  }

  void SetMessageHandler(const std::string& channel, flutter::BinaryMessageHandler handler) override {
    if (handler) {
      handlers_[channel] = std::move(handler);
    } else {
      handlers_.erase(channel);
    }
  }

  bool HasHandler(const std::string& channel) const { return handlers_.count(channel) != 0; }
  size_t handler_count() const { return handlers_.size(); }

  // Delivers the call `method` with `arguments` (none when null) on `channel`, as the engine would, and
  // waits (up to 20 s) for its first reply, which handlers on the host's lanes give from a worker.
  // Returns null when no handler is registered for the channel. The answer is shared with the reply
  // function, so a later answer (a duplicate) shows up in it too.
  std::shared_ptr<const Answer> Call(const std::string& channel, const std::string& method,
                             std::unique_ptr<flutter::EncodableValue> arguments = nullptr) {
    auto answer = CallWithoutWaiting(channel, method, std::move(arguments));
    if (answer) {
      std::unique_lock lock(answer->mutex);
      answer->replied.wait_for(lock, std::chrono::seconds(20), [&answer] { return answer->replies > 0; });
    }
    return answer;
  }

  // As Call, without waiting for the reply.
  std::shared_ptr<const Answer> CallWithoutWaiting(const std::string& channel, const std::string& method,
                                                   std::unique_ptr<flutter::EncodableValue> arguments = nullptr) {
    auto found = handlers_.find(channel);
    if (found == handlers_.end()) return nullptr;
    const auto* codec = &flutter::StandardMethodCodec::GetInstance();
    flutter::MethodCall<flutter::EncodableValue> call(method, std::move(arguments));
    std::unique_ptr<std::vector<uint8_t>> message = codec->EncodeMethodCall(call);
    auto answer = std::make_shared<Answer>();
    found->second(message->data(), message->size(), [answer, codec](const uint8_t* reply, size_t size) {
      std::lock_guard lock(answer->mutex);
      answer->replied.notify_all();
      ++answer->replies;
      if (size == 0) {
        answer->kind = Answer::Kind::kNotImplemented;
        return;
      }
      flutter::MethodResultFunctions<flutter::EncodableValue> decoded(
          [&](const flutter::EncodableValue* value) {
            answer->kind = Answer::Kind::kSuccess;
            if (value) answer->value = *value;
          },
          [&](const std::string& code, const std::string& message, const flutter::EncodableValue* details) {
            answer->kind = Answer::Kind::kError;
            answer->error_code = code;
            answer->error_message = message;
            if (details) answer->value = *details;
          },
          [&] { answer->kind = Answer::Kind::kNotImplemented; });
      codec->DecodeAndProcessResponseEnvelope(reply, size, &decoded);
    });
    return answer;
  }

 private:
  std::map<std::string, flutter::BinaryMessageHandler> handlers_;
};

}  // namespace runner::testing
