// MethodChannel<T>: a named channel carrying method calls over a BinaryMessenger with a MethodCodec.
//
// Thread safety: set the handler on the messenger's platform thread; the handler runs there. Answers
// may come from any thread (see method_result.h).
#pragma once

#include <functional>
#include <iostream>
#include <memory>
#include <string>
#include <utility>

#include "flutter/binary_messenger.h"
#include "flutter/encodable_value.h"
#include "flutter/engine_method_result.h"
#include "flutter/log.h"
#include "flutter/method_call.h"
#include "flutter/method_codec.h"
#include "flutter/method_result.h"

namespace flutter {

// Receives each call with the sole owning pointer to its result; whoever holds the pointer answers.
template <typename T = EncodableValue>
using MethodCallHandler = std::function<void(const MethodCall<T>& call, std::unique_ptr<MethodResult<T>> result)>;

template <typename T = EncodableValue>
class MethodChannel {
 public:
  // `messenger` and `codec` must outlive the channel.
  MethodChannel(BinaryMessenger* messenger, const std::string& name, const MethodCodec<T>* codec)
      : messenger_(messenger), name_(name), codec_(codec) {}

  ~MethodChannel() = default;
  MethodChannel(MethodChannel const&) = delete;
  MethodChannel& operator=(MethodChannel const&) = delete;

  // Sends a call to the other side. `result`, when given, receives the answer (not implemented for an
  // empty or undecodable reply). When the arguments cannot be encoded nothing is sent and `result` is
  // answered not implemented.
  void InvokeMethod(const std::string& method, std::unique_ptr<T> arguments,
                    std::unique_ptr<MethodResult<T>> result = nullptr) {
    MethodCall<T> method_call(method, std::move(arguments));
    std::unique_ptr<std::vector<uint8_t>> message = codec_->EncodeMethodCall(method_call);
    if (!message) {
      std::cerr << "Unable to encode method call on channel " << name_ << std::endl;
      if (result) result->NotImplemented();
      return;
    }
    if (!result) {
      messenger_->Send(name_, message->data(), message->size(), nullptr);
      return;
    }
    // BinaryReply is a std::function and must be copyable, so the result moves into a shared pointer.
    std::shared_ptr<MethodResult<T>> shared_result = std::move(result);
    const MethodCodec<T>* codec = codec_;
    std::string channel_name = name_;
    BinaryReply reply_handler = [shared_result, codec, channel_name](const uint8_t* reply, size_t reply_size) {
      if (reply_size == 0) {
        shared_result->NotImplemented();
        return;
      }
      if (!codec->DecodeAndProcessResponseEnvelope(reply, reply_size, shared_result.get())) {
        std::cerr << "Unable to decode reply to method invocation on channel " << channel_name << std::endl;
        shared_result->NotImplemented();
      }
    };
    messenger_->Send(name_, message->data(), message->size(), std::move(reply_handler));
  }

  // Installs the channel's handler, replacing any previous one; null removes it. A message that does not
  // decode as a method call is answered not implemented after a line on std::cerr naming the channel.
  void SetMethodCallHandler(MethodCallHandler<T> handler) const {
    if (!handler) {
      messenger_->SetMessageHandler(name_, nullptr);
      return;
    }
    const MethodCodec<T>* codec = codec_;
    std::string channel_name = name_;
    BinaryMessageHandler binary_handler = [handler, codec, channel_name](const uint8_t* message,
                                                                         size_t message_size, BinaryReply reply) {
      auto result = std::make_unique<EngineMethodResult<T>>(std::move(reply), codec);
      std::unique_ptr<MethodCall<T>> method_call = codec->DecodeMethodCall(message, message_size);
      if (!method_call) {
        // Caused by what the other side sent, so a flood of them is thinned out rather than written whole.
        LogInputLine("Unable to construct method call from message on channel " + channel_name);
        result->NotImplemented();
        return;
      }
      handler(*method_call, std::move(result));
    };
    messenger_->SetMessageHandler(name_, std::move(binary_handler));
  }

 private:
  BinaryMessenger* messenger_;
  std::string name_;
  const MethodCodec<T>* codec_;
};

}  // namespace flutter
