// WorkLanes: the lanes.
#include "runner/work_lanes.h"

namespace runner {
namespace {

constexpr int kFaceBatchesAtOnce = 2;

int PerCore(unsigned hardware_threads) { return hardware_threads == 0 ? 1 : static_cast<int>(hardware_threads); }

}  // namespace

WorkLanes::WorkLanes(ThreadRegistry* threads, platform::Clock* clock, unsigned hardware_threads)
    : previews("preview", PerCore(hardware_threads), kMaxWaitingPreviews, threads, clock),
      metadata("metadata", PerCore(hardware_threads), kMaxWaitingPreviews, threads, clock),
      sheets("sheet job", kJobsAtOnce, kMaxWaitingJobs, threads, clock),
      prints("print job", kJobsAtOnce, kMaxWaitingJobs, threads, clock),
      shell("shell request", kJobsAtOnce, kMaxWaitingJobs, threads, clock),
      bakes("bake", kJobsAtOnce, kMaxWaitingJobs, threads, clock),
      faces("face worker", kFaceBatchesAtOnce, kMaxWaitingJobs, threads, clock) {}

void WorkLanes::CancelWaiting() {
  for (WorkQueue* lane : {&previews, &metadata, &sheets, &prints, &shell, &bakes, &faces}) lane->CancelWaiting();
}

}  // namespace runner
