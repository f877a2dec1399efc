// WorkLanes: the host's lanes of work, one WorkQueue per kind, and OnLane, which moves a method's handler
// off the platform thread.
//
// The platform thread reads the call, hands it to a lane and goes back to its queue; a worker runs the
// handler, which answers as it always has (the same replies, error rows and log lines; only their timing
// changes). Lanes and their limits:
//   previews   one worker per core, up to kMaxWaitingPreviews waiting (a preview refused for want of room
//              is answered null, as a preview that cannot be made is)
//   metadata   quick metadata reads, one per core
//   sheets     two sheet jobs at once (blocking and background alike), the others in order
//   prints     two print jobs at once (layout printing and the shell's print requests)
//   shell      two requests to open files at once
//   bakes      two bakes at once (each with its own workers)
//   faces      kMaxFaceBatches face batches at once
// Every call sent to a lane is tracked in PendingWork, so the window's closing knows what it waits for
// and can answer what is left with the call's failure row.
// Thread safety: the lanes may be used from any thread.
#pragma once

#include <cstddef>
#include <functional>
#include <string>

#include "runner/channels/channel.h"
#include "runner/work_queue.h"

namespace platform {
class Clock;
}

namespace runner {

class PendingWork;
class ThreadRegistry;

inline constexpr size_t kMaxWaitingPreviews = 1024;
// Sheet jobs, print jobs, shell requests and bakes that may wait their turn.
inline constexpr size_t kMaxWaitingJobs = 256;
inline constexpr int kJobsAtOnce = 2;

struct WorkLanes {
  // Workers come from `threads`; `hardware_threads` (0 when unknown) sizes the per-core lanes.
  WorkLanes(ThreadRegistry* threads, platform::Clock* clock, unsigned hardware_threads);

  WorkQueue previews;
  WorkQueue metadata;
  WorkQueue sheets;
  WorkQueue prints;
  WorkQueue shell;
  WorkQueue bakes;
  WorkQueue faces;

  // Cancels what waits in every lane.
  void CancelWaiting();
};

// Answers a call that will not be run with its failure row.
using CallFailure = std::function<void(const MethodCall& call, MethodResult& result)>;

// `handler` run on `lane`: the call (its arguments copied) and its result, tracked in `pending` as
// `kind`, go to a worker. When the lane has no room (or no worker can start), or the call is still
// waiting when the host stops, `failure` answers it instead. With no lane or no pending table, `handler`
// itself is returned: it runs where it is called.
MethodHandler OnLane(WorkQueue* lane, PendingWork* pending, std::string kind, CallFailure failure,
                     MethodHandler handler);

}  // namespace runner
