// WorkLanes: the lanes and the hand-off of a call to one of them.
#include "runner/work_lanes.h"

#include <memory>
#include <utility>

#include "runner/log.h"
#include "runner/channels/pending_work.h"

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

MethodHandler OnLane(WorkQueue* lane, PendingWork* pending, std::string kind, CallFailure failure,
                     MethodHandler handler) {
  if (lane == nullptr || pending == nullptr) return handler;
  return [lane, pending, kind = std::move(kind), failure = std::move(failure), handler = std::move(handler)](
             const MethodCall& call, std::unique_ptr<MethodResult> result) {
    // The call lives on with the task: its name and a copy of its arguments.
    auto copied = std::make_shared<const MethodCall>(
        call.method_name(), call.arguments() ? std::make_unique<EncodableValue>(*call.arguments()) : nullptr);
    // The tracked result answers with the failure row if it is released unanswered: a task that never
    // runs (cancelled, refused) ends that way, when the task is destroyed.
    auto tracked = std::make_shared<std::unique_ptr<MethodResult>>(pending->Track(
        kind, std::move(result), [copied, failure](MethodResult& answer) { failure(*copied, answer); }));
    WorkQueue::Task task;
    task.run = [copied, tracked, handler] { handler(*copied, std::move(*tracked)); };
    std::string error;
    if (!lane->Submit(std::move(task), &error)) {
      LogLine("ERROR: " + copied->method_name() + " not started (" + error + "); answered as failed");
    }
  };
}

}  // namespace runner
