// The application host's entry points: serving the channels over a transport, and one call in-process.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

#include "runner/services.h"

namespace runner {

// Process exit codes of the host.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCannotStart = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoReply = 3;
inline constexpr int kExitConnectionFailed = 4;

// `services` are the ports and shared state the handlers use; they must outlive the call.
// `arguments` are the command-line arguments after the program path; they go, as UTF-8, into the project
// description as the interface's entry-point arguments (an argument that is not valid UTF-8 becomes "").

// Serves the channels on standard input and output until end of input, SIGTERM or SIGINT (the window
// closing), then writes the answers still queued (giving up on a reader that takes nothing for a second).
// Returns kExitOk after end of input or a stop signal, kExitConnectionFailed when the connection ended by
// a failure (a frame above the size limit or cut short by the end of input, a read or write error, a
// reader that took no reply for too long), kExitCannotStart when the host cannot start.
int RunServeStdio(const Services& services);

// Serves the channels on a unix stream socket at `path` (mode 0600, several clients) until SIGTERM or
// SIGINT. Returns kExitOk after a normal close, kExitCannotStart when the socket cannot be bound.
int RunServeSocket(const Services& services, const std::string& path);

// Runs the host, sends one call of `method` on `channel` with the argument given as JSON (`json_argument`
// absent: no argument value), waits for the answer and prints it on `out` as one JSON document:
//   {"success": value} | {"error": {"code": .., "message": .., "details": ..}} | {"notImplemented": true}
// Returns kExitOk when an answer came; kExitUsage (message on `err`) for invalid JSON; kExitNoReply when
// the handler released the call unanswered or no answer came within `timeout_seconds`; kExitCannotStart
// when the host cannot start.
int RunCall(const Services& services, const std::string& channel, const std::string& method,
            const std::optional<std::string>& json_argument, std::ostream& out, std::ostream& err,
            int timeout_seconds = 600);

}  // namespace runner
