// GridJobTable: start on a registered thread, poll without waiting, deliver once.
#include "runner/printing/sheets/grid_job_table.h"

#include <chrono>
#include <exception>

#include "runner/channels/pending_work.h"
#include "runner/work_queue.h"

namespace runner::printing {

std::optional<int32_t> GridJobTable::Start(mosalith::GridJob request, SheetJobContext context, WorkQueue& lane,
                                           PendingWork* pending, std::string* error) {
  const int32_t job_id = next_id_.fetch_add(1);
  auto promise = std::make_shared<std::promise<GridResult>>();
  auto state = std::make_shared<JobState>();
  state->pending = promise->get_future();

  WorkQueue::Task task;
  // The token counts the job as pending work until the task is done with, run or not.
  std::shared_ptr<void> counted = pending != nullptr ? pending->Begin("background sheet job") : nullptr;
  task.cancel = [promise] {
    promise->set_value(GridResult{false, "Sheet job stopped: the application is closing", 0, 0, 0, {}});
  };
  task.run = [promise, counted, request = std::move(request), context = std::move(context)]() {
    GridResult result;
    try {
      result = CreateGridImagesWithHelper(request, context);
    } catch (const std::exception& exception) {
      result = GridResult{false, exception.what(), 0, 0, 0, {}};
    } catch (...) {
      result = GridResult{false, "Unknown exception in sheet job", 0, 0, 0, {}};
    }
    promise->set_value(std::move(result));
  };
  if (!lane.Submit(std::move(task), error)) return std::nullopt;

  std::lock_guard lock(mutex_);
  jobs_[job_id] = std::move(state);
  return job_id;
}

std::optional<GridJobTable::Status> GridJobTable::Poll(int32_t job_id) {
  std::shared_ptr<JobState> state;
  {
    std::lock_guard lock(mutex_);
    const auto found = jobs_.find(job_id);
    if (found == jobs_.end()) return std::nullopt;
    state = found->second;
  }
  Status status;
  std::lock_guard state_lock(state->mutex);
  if (state->delivered) return std::nullopt;
  if (state->pending.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return status;
  try {
    status.result = state->pending.get();
  } catch (const std::exception& exception) {
    status.result = GridResult{false, exception.what(), 0, 0, 0, {}};
  }
  status.completed = true;
  state->delivered = true;
  std::lock_guard lock(mutex_);
  jobs_.erase(job_id);
  return status;
}

size_t GridJobTable::size() const {
  std::lock_guard lock(mutex_);
  return jobs_.size();
}

}  // namespace runner::printing
