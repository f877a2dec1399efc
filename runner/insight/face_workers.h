// FaceWorkers: the batches of "detectFacesWindows" on the face lane (WorkQueue), each answered by the
// worker that ran it, as every other family answers (the messenger takes answers from any thread).
//
// At most kMaxFaceBatches batches run at once; later ones wait in the lane and are taken in order of
// arrival, while answers go out in order of completion. Each worker thread keeps its own detector for as
// long as it runs (creating one takes a while); the lane's workers end once it has stayed empty for
// kWorkerLinger, or when the host stops (ThreadRegistry::stopping), after the picture they are on. A
// worker with no other batch running lends its idle sibling capacity to the detector's parts through a
// helper thread. Each call is tracked in PendingWork: a call the host ends first is answered with an
// empty list, as a failed batch is.
// An answer given once the engine has stopped is dropped by the messenger; every call is answered once.
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
#include "runner/work_queue.h"

namespace platform {
class FaceDetection;
}

namespace runner::insight {

inline constexpr int kMaxFaceBatches = 2;
inline constexpr std::chrono::milliseconds kWorkerLinger{30000};

class FaceWorkers : public std::enable_shared_from_this<FaceWorkers> {
 public:
  // `services` members are copied (they are pointers). Batches run on services.lanes->faces, or, when
  // `start_thread` is given (or there are no lanes), on a lane of their own whose threads it starts.
  static std::shared_ptr<FaceWorkers> Create(const Services& services, ThreadStarter start_thread = nullptr);

  // Queues the batch `paths`, whose call `result` its worker answers later. When no worker
  // runs and none can be started, answers at once with an empty list.
  void Submit(std::vector<std::string> paths, std::unique_ptr<MethodResult> result);

  // Worker threads alive now.
  int workers() const;

 private:
  FaceWorkers(const Services& services, ThreadStarter start_thread);
  void RunBatch(const std::vector<std::string>& paths, std::unique_ptr<MethodResult> result);
  void RunParts(size_t count, const std::function<void(size_t)>& part);
  bool Stopping() const;

  Services services_;
  ThreadStarter start_thread_;  // for the detector's helper threads
  std::unique_ptr<WorkQueue> own_lane_;
  WorkQueue* lane_;
};

}  // namespace runner::insight
