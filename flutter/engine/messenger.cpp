// The engine's binary messenger.
#include "flutter/engine/messenger.h"

#include <atomic>

namespace flutter::engine {
namespace {

// The one-shot answer of one message. Shared by every copy of the BinaryReply handed to the handler.
class ResponseHandle {
 public:
  ResponseHandle(std::shared_ptr<EngineMessenger::Gate> gate, ReplyTarget target)
      : gate_(std::move(gate)), target_(std::move(target)) {}
  ~ResponseHandle() {
    if (!used_.load() && target_.abandoned) target_.abandoned();
  }

  void Respond(const uint8_t* data, size_t size) {
    if (used_.exchange(true)) return;
    std::shared_lock lock(gate_->mutex);
    if (gate_->open && target_.send) target_.send(data, size);
  }

 private:
  std::shared_ptr<EngineMessenger::Gate> gate_;
  ReplyTarget target_;
  std::atomic<bool> used_{false};
};

}  // namespace

EngineMessenger::EngineMessenger(PlatformThread& platform) : platform_(platform) {}

void EngineMessenger::Send(const std::string&, const uint8_t*, size_t, flutter::BinaryReply reply) const {
  if (!reply) return;
  platform_.PostTask([reply = std::move(reply)] { reply(nullptr, 0); });
}

void EngineMessenger::SetMessageHandler(const std::string& channel, flutter::BinaryMessageHandler handler) {
  std::lock_guard lock(handlers_mutex_);
  if (handler) {
    handlers_[channel] = std::make_shared<const flutter::BinaryMessageHandler>(std::move(handler));
  } else {
    handlers_.erase(channel);
  }
}

bool EngineMessenger::DeliverMessage(std::string channel, std::vector<uint8_t> message, ReplyTarget target) {
  {
    std::shared_lock lock(gate_->mutex);
    if (!gate_->open) {
      if (target.abandoned) target.abandoned();
      return false;
    }
  }
  // The target travels in a shared holder so that a task destroyed unrun still reports it as abandoned.
  auto held = std::make_shared<ReplyTarget>(std::move(target));
  auto abandon_if_unrun = std::shared_ptr<void>(nullptr, [held](void*) {
    if (held->abandoned) held->abandoned();
  });
  const bool queued = platform_.PostTask(
      [this, channel = std::move(channel), message = std::move(message), held, abandon_if_unrun]() mutable {
        ReplyTarget target = std::move(*held);
        *held = ReplyTarget{};  // disarms abandon_if_unrun: the response handle reports from now on
        Dispatch(channel, message, std::move(target));
      });
  return queued;
}

void EngineMessenger::Dispatch(const std::string& channel, const std::vector<uint8_t>& message,
                               ReplyTarget target) {
  auto handle = std::make_shared<ResponseHandle>(gate_, std::move(target));
  {
    std::shared_lock lock(gate_->mutex);
    if (!gate_->open) return;  // handle reports abandonment as it goes
  }
  std::shared_ptr<const flutter::BinaryMessageHandler> handler;
  {
    std::lock_guard lock(handlers_mutex_);
    auto it = handlers_.find(channel);
    if (it != handlers_.end()) handler = it->second;
  }
  if (!handler) {
    handle->Respond(nullptr, 0);
    return;
  }
  (*handler)(message.data(), message.size(),
          [handle](const uint8_t* reply, size_t size) { handle->Respond(reply, size); });
}

void EngineMessenger::Shutdown() {
  std::unique_lock lock(gate_->mutex);
  gate_->open = false;
}

}  // namespace flutter::engine
