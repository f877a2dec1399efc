// BinaryMessenger: sends and receives raw channel messages; the layer the channels are built on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace flutter {

// Delivers the reply to a message. `reply` is valid only during the call and is null with `reply_size`
// 0 for the empty reply (no handler / not implemented).
typedef std::function<void(const uint8_t* reply, size_t reply_size)> BinaryReply;

// Handles a message arriving on a channel. The message is valid only during the call; `reply` must be
// called once, now or later (it may be moved to another thread), to answer it.
typedef std::function<void(const uint8_t* message, size_t message_size, BinaryReply reply)> BinaryMessageHandler;

// Thread safety: set by the implementation; the engine's messenger delivers messages on its platform
// thread and accepts replies from any thread.
class BinaryMessenger {
 public:
  virtual ~BinaryMessenger() = default;

  // Sends `message` on `channel`. `reply`, when given, receives the answer.
  virtual void Send(const std::string& channel, const uint8_t* message, size_t message_size,
                    BinaryReply reply = nullptr) const = 0;

  // Installs `handler` for messages on `channel`, replacing any previous one; a null handler removes it.
  virtual void SetMessageHandler(const std::string& channel, BinaryMessageHandler handler) = 0;
};

}  // namespace flutter
