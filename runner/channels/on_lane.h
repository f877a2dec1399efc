// OnLane: a method's handler moved off the platform thread onto one of the host's lanes (runner/work_lanes.h).
//
// The platform thread reads the call, hands it to a lane and goes back to its queue; a worker runs the
// handler, which answers as it always has (the same replies, error rows and log lines; only their timing
// changes), the handler's log lines within the call's budget (runner/log.h). Every call sent to a lane is
// tracked in PendingWork, so the window's closing knows what it
// waits for and can answer what is left with the call's failure row.
// Thread safety: the returned handler may be called from any thread.
#pragma once

#include <functional>
#include <string>

#include "runner/channels/channel.h"
#include "runner/work_queue.h"

namespace runner {

class PendingWork;

// Answers a call that will not be run with its failure row.
using CallFailure = std::function<void(const MethodCall& call, MethodResult& result)>;

// `handler` run on `lane`: the call (its arguments copied) and its result, tracked in `pending` as
// `kind`, go to a worker. When the lane has no room (or no worker can start), or the call is still
// waiting when the host stops, `failure` answers it instead. With no lane or no pending table, `handler`
// itself is returned: it runs where it is called.
MethodHandler OnLane(WorkQueue* lane, PendingWork* pending, std::string kind, CallFailure failure,
                     MethodHandler handler);

}  // namespace runner
