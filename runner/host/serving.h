// What the serve entry points of every platform share (runner/host/serve_posix.cpp, serve_win.cpp): the
// project description from the command line, and the end of a serve.
#pragma once

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "flutter/engine/connection.h"
#include "flutter/engine/serve_end.h"
#include "runner/host/flutter_window.h"
#include "runner/host/host.h"
#include "runner/host/host_closing.h"
#include "runner/host/process_streams.h"
#include "runner/services.h"

namespace runner {

// The end of a serve: the work taken on finishes (or is ended) while its answers are written, then the
// window closes, so no answer can be queued any more, and what is queued is written. `exit_code` is the
// process's; when background threads could not be joined in time the process ends here, without
// unwinding, once the answers are out.
// `Server` is the platform's transport: WriteRepliesUntil and Drain as flutter/engine/transport.h says.
template <class Server>
int CloseServe(const Services& services, FlutterWindow& window, Server& server,
               const flutter::engine::StopSignal& stop, flutter::engine::ServeEnd end, int exit_code) {
  // The stop that ended the serve loop is used up; the next one is the second.
  if (end == flutter::engine::ServeEnd::kStopped) stop.TakeOne();
  // Every call read so far reaches its handler first (the platform thread runs them in order), so the
  // wait below knows all the work it waits for.
  if (flutter::engine::Engine* engine = window.engine()) {
    auto dispatched = std::make_shared<flutter::engine::StopSignal>();
    if (engine->PostTask([dispatched] { dispatched->Notify(); })) {
      while (server.WriteRepliesUntil(stop, *dispatched, std::chrono::steady_clock::now() + std::chrono::seconds(1)) ==
             flutter::engine::WaitEnd::kDeadline) {
      }
    }
  }
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


// RunServeStdio on `Server`, the platform's stream transport, built from the standard input descriptor
// `in_fd` and the private copy of standard output.
template <class Server>
int ServeStandardStreams(const Services& services, int in_fd) {
  StandardOutputAside output;
  flutter::engine::StopSignal stop;
  StopSignalScope signals(stop);
  auto window = std::make_shared<FlutterWindow>(services);
  if (!window->Create()) return kExitCannotStart;
  flutter::engine::TransportLimits limits;
  limits.read_gate = services.read_gate;
  Server server(in_fd, output.private_fd(), limits);
  const auto end = server.Serve(*window->engine()->messenger(), stop);
  const int code = CloseServe(services, *window, server, stop, end,
                              end == flutter::engine::ServeEnd::kFailed ? kExitConnectionFailed : kExitOk);
  window.reset();
  return code;
}

}  // namespace runner
