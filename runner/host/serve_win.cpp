// The serve entry point on Windows: standard input and output (the socket transport is Linux-only: unix
// sockets do not work under Wine, and the interface talks to the host over its standard streams).
#include <memory>

#include "flutter/engine/stream_server_win.h"
#include "runner/flutter_window.h"
#include "runner/host.h"
#include "runner/host/serving.h"
#include "runner/log.h"
#include "runner/process_streams.h"

namespace runner {

int RunServeStdio(const Services& services, const std::vector<std::string>& arguments) {
  StandardOutputAside output;
  flutter::engine::StopSignal stop;
  StopSignalScope signals(stop);
  auto window = std::make_shared<FlutterWindow>(MakeProject(arguments), services);
  if (!window->Create()) return kExitCannotStart;
  flutter::engine::WinStreamServer server(0, output.private_fd());
  const auto end = server.Serve(*window->engine()->messenger(), stop);
  const int code = CloseServe(services, *window, server, stop, end,
                              end == flutter::engine::ServeEnd::kFailed ? kExitConnectionFailed : kExitOk);
  window.reset();
  return code;
}

int RunServeSocket(const Services&, const std::string& path, const std::vector<std::string>&) {
  LogLine("ERROR: cannot serve on " + path + ": the socket transport is not available on Windows; use serve --stdio");
  return kExitCannotStart;
}

}  // namespace runner
