// OnLane: the hand-off of a call to a lane.
#include "runner/channels/on_lane.h"

#include <memory>
#include <utility>

#include "runner/channels/pending_work.h"
#include "runner/log.h"

namespace runner {

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
    task.run = [copied, tracked, handler] {
      CallLogScope lines(std::make_shared<CallLogBudget>(copied->method_name()));
      handler(*copied, std::move(*tracked));
    };
    std::string error;
    if (!lane->Submit(std::move(task), &error)) {
      LogLine("ERROR: " + copied->method_name() + " not started (" + error + "); answered as failed");
    }
  };
}

}  // namespace runner
