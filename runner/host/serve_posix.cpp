// The serve entry points on Linux: standard input and output, or a unix stream socket, each served by the
// poll loop of flutter/engine/.
#include <memory>

#include <unistd.h>

#include "flutter/engine/transport.h"
#include "runner/host/flutter_window.h"
#include "runner/host/host.h"
#include "runner/host/serving.h"
#include "runner/host/process_streams.h"

namespace runner {

int RunServeStdio(const Services& services) {
  return ServeStandardStreams<flutter::engine::StreamServer>(services, STDIN_FILENO);
}

int RunServeSocket(const Services& services, const std::string& path) {
  StandardOutputAside output;
  flutter::engine::StopSignal stop;
  StopSignalScope signals(stop);
  flutter::engine::TransportLimits limits;
  limits.read_gate = services.read_gate;
  auto server = flutter::engine::SocketServer::Listen(path, limits);
  if (!server) return kExitCannotStart;
  auto window = std::make_shared<FlutterWindow>(services);
  if (!window->Create()) return kExitCannotStart;
  const auto end = server->Serve(*window->engine()->messenger(), stop);
  const int code = CloseServe(services, *window, *server, stop, end,
                              end == flutter::engine::ServeEnd::kFailed ? kExitCannotStart : kExitOk);
  window.reset();
  return code;
}

}  // namespace runner
