// WorkLanes: the lanes.
#include "runner/work_lanes.h"

namespace runner {
namespace {

constexpr int kFaceBatchesAtOnce = 2;

int PerCore(unsigned hardware_threads) { return hardware_threads == 0 ? 1 : static_cast<int>(hardware_threads); }

}  // namespace

WorkLanes::WorkLanes(ThreadRegistry* threads, platform::Clock* clock, unsigned hardware_threads,
                     WorkQueue::FullListener on_full)
    : previews("preview", PerCore(hardware_threads), kMaxWaitingPreviews, threads, clock),
      metadata("metadata", PerCore(hardware_threads), kMaxWaitingPreviews, threads, clock),
      sheets("sheet job", kJobsAtOnce, kMaxWaitingJobs, threads, clock),
      prints("print job", kJobsAtOnce, kMaxWaitingJobs, threads, clock),
      shell("shell request", kJobsAtOnce, kMaxWaitingJobs, threads, clock),
      bakes("bake", kJobsAtOnce, kMaxWaitingJobs, threads, clock),
      faces("face worker", kFaceBatchesAtOnce, kMaxWaitingJobs, threads, clock) {
  if (on_full) {
    for (WorkQueue* lane : All()) lane->HoldReadsWhenFull(on_full);
  }
}

std::array<WorkQueue*, 7> WorkLanes::All() { return {&previews, &metadata, &sheets, &prints, &shell, &bakes, &faces}; }

void WorkLanes::CancelWaiting() {
  for (WorkQueue* lane : All()) lane->CancelWaiting();
}

}  // namespace runner
