// The engine's binary messenger: incoming messages from a transport, delivered on the platform thread,
// answered from any thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <vector>

#include "flutter/binary_messenger.h"
#include "flutter/engine/platform_thread.h"

namespace flutter::engine {

// Where the answer to one incoming message goes.
struct ReplyTarget {
  // Receives the encoded reply envelope (empty = not implemented). Called at most once, on the answering
  // thread, under the messenger's lock, and only while the engine is running.
  std::function<void(const uint8_t* envelope, size_t size)> send;
  // Optional. Called once when it is certain no answer will be sent: the message could not be queued, or
  // the reply function was released unanswered (a handler's bug). Not called after `send`.
  std::function<void()> abandoned;
};

// A BinaryMessenger whose messages come from a transport rather than from a Dart program.
// Thread safety: every method may be called from any thread. Handlers run on the platform thread, one
// message at a time; the reply function they receive may be called from any thread, at most once (later
// calls are ignored), and is dropped without effect after Shutdown.
class EngineMessenger : public flutter::BinaryMessenger {
 public:
  // `platform` must outlive this messenger.
  explicit EngineMessenger(PlatformThread& platform);
  EngineMessenger(const EngineMessenger&) = delete;
  EngineMessenger& operator=(const EngineMessenger&) = delete;

  // There is no Dart side listening here: `reply` (if any) is called with no data on the platform thread,
  // as the engine does for a channel that nobody handles.
  void Send(const std::string& channel, const uint8_t* message, size_t message_size,
            flutter::BinaryReply reply = nullptr) const override;
  // Installs (or with a null handler removes) the handler of `channel`, replacing any previous one.
  void SetMessageHandler(const std::string& channel, flutter::BinaryMessageHandler handler) override;

  // Queues `message` for `channel` on the platform thread. When it runs, the channel's handler gets it;
  // a channel without a handler is answered at once with the empty (not-implemented) reply. Returns false
  // (and calls target.abandoned) when the engine has shut down.
  bool DeliverMessage(std::string channel, std::vector<uint8_t> message, ReplyTarget target);

  // From now on every answer is dropped and no message is delivered. Waits for answers being sent right
  // now to finish. Idempotent.
  void Shutdown();

  // Shared between the messenger and the reply functions it hands out, which may outlive it.
  struct Gate {
    std::shared_mutex mutex;  // shared while an answer is sent, exclusive to shut down
    bool open = true;
  };

 private:
  void Dispatch(const std::string& channel, const std::vector<uint8_t>& message, ReplyTarget target);

  PlatformThread& platform_;
  std::shared_ptr<Gate> gate_ = std::make_shared<Gate>();
  std::mutex handlers_mutex_;
  // Shared so a call holds its handler alive even if the channel replaces it meanwhile, without copying
  // the handler's captures for every message.
  std::map<std::string, std::shared_ptr<const flutter::BinaryMessageHandler>> handlers_;
};

}  // namespace flutter::engine
