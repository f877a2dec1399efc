// FaceWorkers: the batches of "detectFacesWindows" on the face lane (WorkQueue), and the hand-off of each
// batch's answer to the platform thread as the main window's face-results message.
//
// At most kMaxFaceBatches batches run at once; later ones wait in the lane and are taken in order of
// arrival, while answers go out in order of completion. Each worker thread keeps its own detector for as
// long as it runs (creating one takes a while); the lane's workers end once it has stayed empty for
// kWorkerLinger, or when the host stops (ThreadRegistry::stopping), after the picture they are on. A
// worker with no other batch running lends its idle sibling capacity to the detector's parts through a
// helper thread. Each call is tracked in PendingWork: a call the host ends first is answered with an
// empty list, as a failed batch is.
// The answer travels in a FaceResultsPayload posted to the window; a payload that is never delivered
// (window gone, engine stopped) answers its call when it is released, so every call is answered once.
// Thread safety: Submit on the platform thread; the rest is internal.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "runner/channels/channel.h"
#include "runner/services.h"
#include "runner/window_messages.h"
#include "runner/work_queue.h"

namespace platform {
class FaceDetection;
}

namespace runner::insight {

inline constexpr int kMaxFaceBatches = 2;
inline constexpr std::chrono::milliseconds kWorkerLinger{30000};

// The face-results message's payload: the open call and the per-image records.
class FaceResultsPayload : public WindowMessagePayload {
 public:
  FaceResultsPayload(std::unique_ptr<MethodResult> result, EncodableList records)
      : result_(std::move(result)), records_(std::move(records)) {}
  // Answers the call with the records if it was never delivered.
  ~FaceResultsPayload() override;

  // Answers the call with success and the records; exceptions while sending are ignored. Once only.
  void Deliver();

 private:
  std::unique_ptr<MethodResult> result_;
  EncodableList records_;
};

// The main window's handler for kFaceResultsMessage: delivers a FaceResultsPayload (anything else is
// released unanswered-for, as it carries no call).
void DeliverFaceResults(uintptr_t wparam, std::unique_ptr<WindowMessagePayload> payload);

class FaceWorkers : public std::enable_shared_from_this<FaceWorkers> {
 public:
  // `services` members are copied (they are pointers). Batches run on services.lanes->faces, or, when
  // `start_thread` is given (or there are no lanes), on a lane of their own whose threads it starts.
  static std::shared_ptr<FaceWorkers> Create(const Services& services, std::weak_ptr<WindowMessageTarget> window,
                                             ThreadStarter start_thread = nullptr);

  // Queues the batch `paths`, whose call `result` is answered later through the window. When no worker
  // runs and none can be started, answers at once with an empty list.
  void Submit(std::vector<std::string> paths, std::unique_ptr<MethodResult> result);

  // Worker threads alive now.
  int workers() const;

 private:
  FaceWorkers(const Services& services, std::weak_ptr<WindowMessageTarget> window, ThreadStarter start_thread);
  void RunBatch(const std::vector<std::string>& paths, std::unique_ptr<MethodResult> result);
  void RunParts(size_t count, const std::function<void(size_t)>& part);
  bool Stopping() const;

  Services services_;
  std::weak_ptr<WindowMessageTarget> window_;
  ThreadStarter start_thread_;  // for the detector's helper threads
  std::unique_ptr<WorkQueue> own_lane_;
  WorkQueue* lane_;
};

}  // namespace runner::insight
