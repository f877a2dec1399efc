// The application host's entry points.
#include "runner/host/host.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>

#include <unistd.h>

#include <nlohmann/json.hpp>

#include "flutter/engine/transport.h"
#include "flutter/method_call.h"
#include "flutter/standard_method_codec.h"
#include "runner/host/flutter_window.h"
#include "runner/host/host_closing.h"
#include "runner/host/json_values.h"
#include "runner/host/process_streams.h"
#include "runner/text_conversion.h"

namespace runner {
namespace {

using flutter::EncodableValue;
using nlohmann::json;

DartProject MakeProject(const std::vector<std::string>& arguments) {
  DartProject project = DartProject::FromFolder("data");
  for (const auto& argument : arguments) {
    project.dart_entrypoint_arguments.push_back(IsValidUtf8(argument) ? argument : std::string());
  }
  return project;
}

// The one answer of the call, handed over from whichever thread gives it.
struct PendingCall {
  std::mutex mutex;
  std::condition_variable changed;
  bool finished = false;  // answered, or certainly never to be answered
  std::optional<std::vector<uint8_t>> envelope;
};

// The end of a serve: the work taken on finishes (or is ended) while its answers are written, then the
// window closes, so no answer can be queued any more, and what is queued is written. `exit_code` is the
// process's; when background threads could not be joined in time the process ends here, without
// unwinding, once the answers are out.
template <class Server>
int CloseServe(const Services& services, FlutterWindow& window, Server& server,
               const flutter::engine::StopSignal& stop, flutter::engine::ServeEnd end, int exit_code) {
  // The stop that ended the serve loop is used up; the next one is the second.
  if (end == flutter::engine::ServeEnd::kStopped) stop.TakeOne();
  const bool joined = CloseHost(services, [&server, &stop](const flutter::engine::StopSignal& wake,
                                                           std::chrono::steady_clock::time_point deadline) {
    return server.WriteRepliesUntil(stop, wake, deadline);
  });
  window.Destroy(joined);
  server.Drain();
  if (!joined) {
    std::fflush(nullptr);
    std::_Exit(exit_code);
  }
  return exit_code;
}

}  // namespace

int RunServeStdio(const Services& services, const std::vector<std::string>& arguments) {
  StandardOutputAside output;
  flutter::engine::StopSignal stop;
  StopSignalScope signals(stop);
  auto window = std::make_shared<FlutterWindow>(MakeProject(arguments), services);
  if (!window->Create()) return kExitCannotStart;
  flutter::engine::StreamServer server(STDIN_FILENO, output.private_fd());
  const auto end = server.Serve(*window->engine()->messenger(), stop);
  const int code = CloseServe(services, *window, server, stop, end,
                              end == flutter::engine::ServeEnd::kFailed ? kExitConnectionFailed : kExitOk);
  window.reset();
  return code;
}

int RunServeSocket(const Services& services, const std::string& path, const std::vector<std::string>& arguments) {
  StandardOutputAside output;
  flutter::engine::StopSignal stop;
  StopSignalScope signals(stop);
  auto server = flutter::engine::SocketServer::Listen(path);
  if (!server) return kExitCannotStart;
  auto window = std::make_shared<FlutterWindow>(MakeProject(arguments), services);
  if (!window->Create()) return kExitCannotStart;
  const auto end = server->Serve(*window->engine()->messenger(), stop);
  const int code = CloseServe(services, *window, *server, stop, end,
                              end == flutter::engine::ServeEnd::kFailed ? kExitCannotStart : kExitOk);
  window.reset();
  return code;
}

int RunCall(const Services& services, const std::string& channel, const std::string& method, const std::optional<std::string>& json_argument,
            const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
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
    auto window = std::make_shared<FlutterWindow>(MakeProject(arguments), services);
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
