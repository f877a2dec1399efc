// The serve entry point on Windows: standard input and output (the socket transport is Linux-only: unix
// sockets do not work under Wine, and the interface talks to the host over its standard streams).
#include <memory>

#include "flutter/engine/stream_server_win.h"
#include "runner/host/flutter_window.h"
#include "runner/host/host.h"
#include "runner/host/serving.h"
#include "runner/log.h"
#include "runner/host/process_streams.h"

namespace runner {

int RunServeStdio(const Services& services) {
  return ServeStandardStreams<flutter::engine::WinStreamServer>(services, 0);
}

int RunServeSocket(const Services&, const std::string& path) {
  LogLine("ERROR: cannot serve on " + path + ": the socket transport is not available on Windows; use serve --stdio");
  return kExitCannotStart;
}

}  // namespace runner
