// ReplyManager: the one-answer rule for calls that arrived through a BinaryMessenger.
#include "flutter/engine_method_result.h"

#include "flutter/log.h"

namespace flutter {
namespace internal {

ReplyManager::ReplyManager(BinaryReply reply_handler) : reply_handler_(std::move(reply_handler)) {}

ReplyManager::~ReplyManager() {
  if (reply_handler_) {
    // The call stays pending on the other side: sending a reply from a destructor would hide the bug.
    LogLine("Warning: Failed to respond to a message. This is a memory leak.");
  }
}

void ReplyManager::SendResponseData(const std::vector<uint8_t>* data) {
  if (!reply_handler_) {
    LogLine("Error: Only one of Success, Error, or NotImplemented can be called,"
            " and it can be called exactly once. Ignoring duplicate result.");
    return;
  }
  // Moved out first so that the handler is cleared even if sending throws.
  BinaryReply reply = std::move(reply_handler_);
  reply_handler_ = nullptr;
  const uint8_t* message = data && !data->empty() ? data->data() : nullptr;
  size_t message_size = data ? data->size() : 0;
  reply(message, message_size);
}

}  // namespace internal
}  // namespace flutter
