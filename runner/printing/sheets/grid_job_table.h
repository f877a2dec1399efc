// GridJobTable: background sheet jobs, numbered from 1, polled until their result has been delivered.
//
// A job runs on the sheet lane (never deferred: it starts as soon as the lane has a free worker, in order
// of arrival), is counted in PendingWork, and the window's closing waits for it. A job the host ends
// before it starts completes with success false. Its only output is its GridResult; an exception inside the job completes it with success
// false and the exception's text. The first poll that sees a job finished delivers its result and forgets
// the job; a later poll of that number finds nothing. Numbers are never reused, not even when a job's
// thread could not be started.
// Owned for the life of the process (the composition root or a test), so numbering continues across
// channel setups. Thread safety: every method may be called from any thread; the table's lock guards only
// its map, never a running job.
#pragma once

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "runner/printing/sheets/sheet_job.h"
#include "runner/printing/sheets/sheet_job_records.h"

namespace runner {
class PendingWork;
class WorkQueue;
}

namespace runner::printing {

class GridJobTable {
 public:
  // What a poll sees.
  struct Status {
    bool completed = false;
    GridResult result;  // meaningful when completed
  };

  // Starts `request` as a background job running CreateGridImagesWithHelper with `context` on `lane`,
  // counted in `pending` (may be null) while it waits or runs. Returns the job's number, or nothing with
  // `*error` set to the reason the lane refused it (the number is used up either way).
  std::optional<int32_t> Start(mosalith::GridJob request, SheetJobContext context, WorkQueue& lane,
                               PendingWork* pending, std::string* error);

  // Nothing when no job has this number (never started, or its result already delivered). Otherwise the
  // job's status; a completed status is the job's one delivery and removes it from the table.
  std::optional<Status> Poll(int32_t job_id);

  // Jobs in the table (running, or finished and not yet polled).
  size_t size() const;

 private:
  struct JobState {
    std::mutex mutex;  // two polls of one number at once deliver once
    bool delivered = false;
    std::future<GridResult> pending;
  };

  std::atomic<int32_t> next_id_{1};
  mutable std::mutex mutex_;
  std::unordered_map<int32_t, std::shared_ptr<JobState>> jobs_;
};

}  // namespace runner::printing
