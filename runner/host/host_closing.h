// CloseHost: how the host ends once it takes no new calls (end of input, the window closing, SIGTERM or
// SIGINT), and how it ends for certain when waiting is no longer an option.
//
// First stop: one line says what the host waits for ("INFO: Closing: waiting for 1 sheet job, 2
// previews", or "INFO: Closing: no work to wait for"), and the work already taken on finishes as it would,
// its answers still written to the caller.
// The wait ends early on a second stop signal, or after `no_progress` (10 s) without progress: no work
// ended, no step marked (a face batch's picture, a bake's image) and no output from a helper program
// (which reports each photo). A helper's output counts only for the first `helper_output_limit` (60 s) of
// the wait, so a helper that hangs but keeps printing cannot hold the host for good. The host then, in one
// line, says why and what it ends, and:
//   - asks every helper program to end (SIGTERM to its process group), and kills the ones still there
//     `kill_delay` (2 s) later (SIGKILL), so no helper outlives the host;
//   - tells long work to stop at its next step: a face batch after the picture it is on, a print job at
//     its next page, a bake before its next image; lanes drop what waits; the print jobs this process
//     started on the printers and did not finish are cancelled;
//   - stops the memory budget from making anyone wait;
//   - answers every call still open with its failure row (later answers are dropped);
//   - waits for the background threads until `exit_limit` (5 s) after that moment, writing answers.
// Thread safety: call once, on the thread that ran the serve loop.
#pragma once

#include <chrono>
#include <functional>

#include "flutter/engine/serve_end.h"
#include "runner/services.h"

namespace runner {

struct ClosingTimes {
  std::chrono::milliseconds no_progress{10000};
  std::chrono::milliseconds helper_output_limit{60000};
  std::chrono::milliseconds kill_delay{2000};
  std::chrono::milliseconds exit_limit{4000};  // the rest of 5 s goes to writing the last answers
};

// Writes the answers queued for the caller until `wake` is notified, the stop signal comes again
// (kStopped) or `deadline` passes (the transport's WriteRepliesUntil).
using WriteRepliesUntil = std::function<flutter::engine::WaitEnd(const flutter::engine::StopSignal& wake,
                                                                  std::chrono::steady_clock::time_point deadline)>;

// Returns true when every background thread has ended and been joined; false when some were still
// running at the exit limit: they stay registered, and the caller must end the process without
// unwinding (std::_Exit) after writing what it can.
bool CloseHost(const Services& services, const WriteRepliesUntil& write_replies_until, const ClosingTimes& times = {});

}  // namespace runner
