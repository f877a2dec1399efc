// WorkLanes: the host's lanes of work, one WorkQueue per kind (runner/channels/on_lane.h moves a method's
// handler onto one). Lanes and their limits:
//   previews   one worker per core, up to kMaxWaitingPreviews waiting (a preview refused for want of room
//              is answered null, as a preview that cannot be made is)
//   metadata   quick metadata reads, one per core
//   sheets     two sheet jobs at once (blocking and background alike), the others in order
//   prints     two print jobs at once (layout printing and the shell's print requests)
//   shell      two requests to open files at once
//   bakes      two bakes at once (each with its own workers)
//   faces      kMaxFaceBatches face batches at once
// With a fullness listener, a lane that has as many tasks waiting as its limit tells it (the host then
// stops the transports reading new calls) instead of refusing more.
// A lane may be cancelled as a whole when the host stops (CancelWaiting).
// Thread safety: the lanes may be used from any thread.
#pragma once

#include <array>
#include <cstddef>

#include "runner/work_queue.h"

namespace platform {
class Clock;
}

namespace runner {

class ThreadRegistry;

inline constexpr size_t kMaxWaitingPreviews = 1024;
// Sheet jobs, print jobs, shell requests and bakes that may wait their turn.
inline constexpr size_t kMaxWaitingJobs = 256;
inline constexpr int kJobsAtOnce = 2;

struct WorkLanes {
  // Workers come from `threads`; `hardware_threads` (0 when unknown) sizes the per-core lanes. `on_full`
  // (may be empty: full lanes refuse) hears each lane become full (true) and have room again (false).
  WorkLanes(ThreadRegistry* threads, platform::Clock* clock, unsigned hardware_threads,
            WorkQueue::FullListener on_full = nullptr);

  WorkQueue previews;
  WorkQueue metadata;
  WorkQueue sheets;
  WorkQueue prints;
  WorkQueue shell;
  WorkQueue bakes;
  WorkQueue faces;

  // Cancels what waits in every lane.
  void CancelWaiting();

 private:
  std::array<WorkQueue*, 7> All();
};

}  // namespace runner
