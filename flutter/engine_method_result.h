// EngineMethodResult<T>: the MethodResult that answers a call which arrived through a BinaryMessenger,
// and ReplyManager, which holds that call's reply function and enforces the one-answer rule.
//
// Rules (each breach writes one line to std::cerr):
//  - the first answer is encoded and handed to the reply function; a later answer is ignored with
//    "Error: Only one of Success, Error, or NotImplemented can be called, and it can be called exactly
//    once. Ignoring duplicate result."
//  - a result destroyed unanswered sends nothing (the caller's call stays pending) and writes
//    "Warning: Failed to respond to a message. This is a memory leak."
//
// Thread safety: owned by one holder at a time, which may answer on any thread; the reply function
// does whatever locking the messenger needs.
#pragma once

#include <cstdint>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include "flutter/binary_messenger.h"
#include "flutter/method_codec.h"
#include "flutter/method_result.h"

namespace flutter {

namespace internal {

class ReplyManager {
 public:
  explicit ReplyManager(BinaryReply reply_handler);
  ~ReplyManager();
  ReplyManager(ReplyManager const&) = delete;
  ReplyManager& operator=(ReplyManager const&) = delete;

  // Sends `data` as the reply; null or empty sends the empty (not implemented) reply. Only the first
  // call sends; later calls are ignored with the duplicate line.
  void SendResponseData(const std::vector<uint8_t>* data);

 private:
  BinaryReply reply_handler_;
};

}  // namespace internal

template <typename T>
class EngineMethodResult : public MethodResult<T> {
 public:
  // `codec` must outlive the result.
  EngineMethodResult(BinaryReply reply_handler, const MethodCodec<T>* codec)
      : reply_manager_(std::make_unique<internal::ReplyManager>(std::move(reply_handler))), codec_(codec) {}

  ~EngineMethodResult() override = default;

 protected:
  void SuccessInternal(const T* result) override {
    SendEncoded(codec_->EncodeSuccessEnvelope(result));
  }

  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const T* error_details) override {
    SendEncoded(codec_->EncodeErrorEnvelope(error_code, error_message, error_details));
  }

  void NotImplementedInternal() override { reply_manager_->SendResponseData(nullptr); }

 private:
  // A value the codec cannot write still answers the call (with the empty reply) so the caller is not
  // left waiting.
  void SendEncoded(std::unique_ptr<std::vector<uint8_t>> data) {
    if (!data) {
      std::cerr << "Unable to encode the reply to a method call; answering not implemented." << std::endl;
    }
    reply_manager_->SendResponseData(data.get());
  }

  std::unique_ptr<internal::ReplyManager> reply_manager_;
  const MethodCodec<T>* codec_;
};

}  // namespace flutter
