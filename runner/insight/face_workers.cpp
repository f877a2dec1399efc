// The face workers and the hand-off of their answers.
#include "runner/insight/face_workers.h"

#include <cstdio>
#include <exception>

#include "platform/clock.h"
#include "platform/face_detector.h"
#include "runner/insight/face_batch.h"
#include "runner/insight/insight_channels.h"
#include "runner/log.h"
#include "runner/channels/pending_work.h"
#include "runner/thread_registry.h"
#include "runner/work_lanes.h"

namespace runner::insight {
namespace {

std::string PointerText(const void* pointer) {
  char text[32];
  std::snprintf(text, sizeof text, "%p", pointer);
  return text;
}

// Answers the call with success and the records; an answer that cannot be sent (out of memory while
// encoding) releases the call all the same.
void AnswerRecords(std::unique_ptr<MethodResult> result, EncodableList records) {
  if (!result) return;
  try {
    result->Success(EncodableValue(std::move(records)));
  } catch (...) {
  }
}

}  // namespace

std::shared_ptr<FaceWorkers> FaceWorkers::Create(const Services& services, ThreadStarter start_thread) {
  return std::shared_ptr<FaceWorkers>(new FaceWorkers(services, std::move(start_thread)));
}

FaceWorkers::FaceWorkers(const Services& services, ThreadStarter start_thread)
    : services_(services), start_thread_(std::move(start_thread)), lane_(nullptr) {
  if (!start_thread_ && services_.lanes != nullptr) {
    lane_ = &services_.lanes->faces;
  } else {
    own_lane_ = std::make_unique<WorkQueue>("face worker", kMaxFaceBatches, kMaxWaitingJobs, services_.threads,
                                            services_.clock, kWorkerLinger, start_thread_);
    lane_ = own_lane_.get();
  }
  if (!start_thread_) {
    ThreadRegistry* threads = services_.threads;
    start_thread_ = [threads](std::string name, std::function<void()> work, std::string* error) {
      if (threads == nullptr) {
        if (error) *error = "no thread registry";
        return false;
      }
      return threads->Start(std::move(name), std::move(work), error);
    };
  }
}

int FaceWorkers::workers() const { return lane_->workers(); }

bool FaceWorkers::Stopping() const { return services_.threads != nullptr && services_.threads->stopping(); }

void FaceWorkers::Submit(std::vector<std::string> paths, std::unique_ptr<MethodResult> result) {
  // A batch the host ends first, or that never runs, is answered as a failed batch: an empty list.
  auto empty_list = [](MethodResult& answer) { answer.Success(EncodableValue(EncodableList{})); };
  if (services_.pending != nullptr) result = services_.pending->Track("face batch", std::move(result), empty_list);
  auto held = std::make_shared<std::unique_ptr<MethodResult>>(std::move(result));
  WorkQueue::Task task;
  task.run = [self = shared_from_this(), paths = std::move(paths), held] {
    CallLogScope lines(std::make_shared<CallLogBudget>("detectFacesWindows"));
    self->RunBatch(paths, std::move(*held));
  };
  task.cancel = [held, empty_list] {
    if (*held) empty_list(**held);
  };
  std::string error;
  if (lane_->Submit(std::move(task), &error)) return;
  LogLine("FD: std::exception in worker: cannot start the worker thread: " + error);
  if (*held) empty_list(**held);
}

void FaceWorkers::RunBatch(const std::vector<std::string>& paths, std::unique_ptr<MethodResult> result) {
  // Each worker thread keeps its own detector for as long as it runs: creating one takes a while.
  struct WorkerDetection {
    const platform::FaceDetector* detector = nullptr;
    std::unique_ptr<platform::FaceDetection> detection;
  };
  thread_local WorkerDetection kept;
  const platform::FaceDetector* detector = services_.face_detector;
  if (kept.detector != detector) kept = WorkerDetection{detector, nullptr};
  std::unique_ptr<platform::FaceDetection>& detection = kept.detection;

  // There is no window to post to: the line names these workers and whether the host still takes
  // answers, keeping the log's shape.
  LogLine("FD: Worker thread started, hwnd=" + PointerText(this) + " valid=" + (Stopping() ? "no" : "yes") +
          " paths=" + std::to_string(paths.size()));
  // There is no apartment to join here; the line keeps the log's shape.
  LogLine("FD: winrt::init_apartment succeeded");
  LogLine(detector != nullptr && detector->IsSupported() ? "FD: FaceDetector IS supported"
                                                         : "FD: FaceDetector NOT supported");
  if (!detection && detector != nullptr) {
    base::StatusOr<std::unique_ptr<platform::FaceDetection>> created = detector->CreateDetection();
    if (created.ok()) detection = std::move(*created);
  }
  LogLine(detection ? "FD: detector CreateAsync succeeded" : "FD: detector CreateAsync failed (unknown)");

  FaceBatchPorts ports;
  ports.graphics = services_.graphics;
  ports.detection = detection.get();
  ports.budget = services_.memory;
  ports.run_parts = [this](size_t count, const std::function<void(size_t)>& part) { RunParts(count, part); };
  ports.stopping = [this] { return Stopping(); };
  ports.progressed = [pending = services_.pending] {
    if (pending != nullptr) pending->Progressed();
  };
  EncodableList records = FaceRecordsToList(RunFaceBatch(paths, ports));
  const bool failed = records.empty() && !paths.empty();
  if (!failed) LogLine("FD: Sending result with " + std::to_string(records.size()) + " entries to UI thread");

  // Once the host is closing the engine drops the answer (the call is still released).
  const bool delivered = !Stopping();
  AnswerRecords(std::move(result), std::move(records));
  if (!failed) LogLine(delivered ? "FD: PostMessage succeeded" : "FD: PostMessage FAILED");
}

void FaceWorkers::RunParts(size_t count, const std::function<void(size_t)>& part) {
  const bool alone = lane_->running() <= 1;
  if (count < 2 || !alone) {
    for (size_t i = 0; i < count; ++i) part(i);
    return;
  }
  // One helper thread takes the parts from the back while this thread takes them from the front.
  struct Shared {
    std::mutex mutex;
    std::condition_variable done;
    size_t next_front = 0;
    size_t next_back;
    bool helper_finished = false;
  };
  auto shared = std::make_shared<Shared>();
  shared->next_back = count;
  auto take_back = [shared]() -> std::optional<size_t> {
    std::lock_guard lock(shared->mutex);
    if (shared->next_back <= shared->next_front) return std::nullopt;
    return --shared->next_back;
  };
  const bool helper = start_thread_(
      "face detection helper",
      [shared, take_back, &part] {
        while (std::optional<size_t> i = take_back()) part(*i);
        std::lock_guard lock(shared->mutex);
        shared->helper_finished = true;
        shared->done.notify_all();
      },
      nullptr);
  for (;;) {
    size_t i;
    {
      std::lock_guard lock(shared->mutex);
      if (shared->next_front >= shared->next_back) break;
      i = shared->next_front++;
    }
    part(i);
  }
  if (helper) {
    std::unique_lock lock(shared->mutex);
    shared->done.wait(lock, [&shared] { return shared->helper_finished; });
  }
}

}  // namespace runner::insight
