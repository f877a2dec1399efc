// The application host's one call in-process (the serve entry points: runner/host/serve_*.cpp).
#include "runner/host/host.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>

#include <nlohmann/json.hpp>

#include "flutter/engine/messenger.h"
#include "flutter/method_call.h"
#include "flutter/standard_method_codec.h"
#include "runner/host/flutter_window.h"
#include "runner/host/json_values.h"
#include "runner/host/process_streams.h"
#include "runner/host/serving.h"

namespace runner {
namespace {

using flutter::EncodableValue;
using nlohmann::json;

// The one answer of the call, handed over from whichever thread gives it.
struct PendingCall {
  std::mutex mutex;
  std::condition_variable changed;
  bool finished = false;  // answered, or certainly never to be answered
  std::optional<std::vector<uint8_t>> envelope;
};

}  // namespace

int RunCall(const Services& services, const std::string& channel, const std::string& method,
            const std::optional<std::string>& json_argument, std::ostream& out, std::ostream& err,
            int timeout_seconds) {
  std::unique_ptr<EncodableValue> argument;
  if (json_argument) {
    std::string error;
    auto value = ParseJsonValue(*json_argument, &error);
    if (!value) {
      err << "pictavera call: " << error << "\n";
      return kExitUsage;
    }
    argument = std::make_unique<EncodableValue>(std::move(*value));
  }
  const auto& codec = flutter::StandardMethodCodec::GetInstance();
  const auto message = codec.EncodeMethodCall(flutter::MethodCall<EncodableValue>(method, std::move(argument)));

  auto pending = std::make_shared<PendingCall>();
  bool came_in_time;
  {
    StandardOutputAside output;
    auto window = std::make_shared<FlutterWindow>(services);
    if (!window->Create()) return kExitCannotStart;
    flutter::engine::ReplyTarget target;
    target.send = [pending](const uint8_t* data, size_t size) {
      std::lock_guard lock(pending->mutex);
      pending->envelope.emplace(data, data + size);
      pending->finished = true;
      pending->changed.notify_all();
    };
    target.abandoned = [pending] {
      std::lock_guard lock(pending->mutex);
      pending->finished = true;
      pending->changed.notify_all();
    };
    window->engine()->messenger()->DeliverMessage(channel, *message, std::move(target));
    {
      std::unique_lock lock(pending->mutex);
      came_in_time = pending->changed.wait_for(lock, std::chrono::seconds(timeout_seconds),
                                               [&] { return pending->finished; });
    }
    window->Destroy();
  }

  std::lock_guard lock(pending->mutex);
  if (!pending->envelope) {
    err << (came_in_time ? "pictavera call: the call was released without an answer\n"
                         : "pictavera call: no answer within the time limit\n");
    return kExitNoReply;
  }
  const auto document = ReplyEnvelopeToJson(*pending->envelope);
  if (!document) {
    err << "pictavera call: the answer is not a valid reply envelope\n";
    return kExitNoReply;
  }
  // Texts from the system need not be valid UTF-8; they are printed with U+FFFD in place of bad bytes.
  out << document->dump(-1, ' ', false, json::error_handler_t::replace) << "\n";
  out.flush();
  return kExitOk;
}

}  // namespace runner
