// WorkQueue: the queue, its workers, their lingering and the cancelling of what never ran.
#include "runner/work_queue.h"

#include <condition_variable>
#include <deque>
#include <mutex>

#include "platform/clock.h"
#include "runner/log.h"
#include "runner/thread_registry.h"

namespace runner {
namespace {

// How often an idle worker looks whether the registry was told to stop.
constexpr std::chrono::milliseconds kStopPoll{100};

}  // namespace

struct WorkQueue::State {
  std::string name;
  int max_workers;
  size_t max_waiting;
  ThreadRegistry* threads;
  ThreadStarter start_thread;
  platform::Clock* clock;
  std::chrono::milliseconds linger;
  FullListener on_full;

  mutable std::mutex mutex;
  std::condition_variable wake;
  std::deque<Task> queue;
  int workers = 0;
  int running = 0;
  bool closed = false;  // the lane is gone: workers leave once the queue is empty
  bool full = false;     // the listener was last told the lane is full

  // Under `mutex`: tells the listener when the queue becomes full or has room again.
  void UpdateHold() {
    const bool now_full = queue.size() >= max_waiting;
    if (!on_full || now_full == full) return;
    full = now_full;
    on_full(full);
  }

  bool Stopping() const { return threads != nullptr && threads->stopping(); }
  std::chrono::steady_clock::time_point Now() const {
    return clock != nullptr ? clock->Now() : std::chrono::steady_clock::time_point{};
  }

  static void Cancel(Task& task) {
    if (!task.cancel) return;
    try {
      task.cancel();
    } catch (...) {
      // A failure answer that cannot be sent leaves nothing more to do.
    }
  }

  static void WorkerLoop(const std::shared_ptr<State>& self) {
    State& s = *self;
    auto idle_since = s.Now();
    std::unique_lock lock(s.mutex);
    for (;;) {
      if (s.queue.empty()) {
        const bool lingered = s.clock != nullptr && s.Now() - idle_since >= s.linger;
        if (s.closed || s.Stopping() || lingered) break;
        s.wake.wait_for(lock, kStopPoll);
        continue;
      }
      Task task = std::move(s.queue.front());
      s.queue.pop_front();
      s.UpdateHold();
      const bool stopping = s.Stopping();
      ++s.running;
      lock.unlock();
      if (stopping) {
        Cancel(task);
      } else {
        try {
          task.run();
        } catch (const std::exception& e) {
          LogLine("ERROR: uncaught exception in a " + s.name + " task: " + e.what());
        } catch (...) {
          LogLine("ERROR: uncaught exception in a " + s.name + " task");
        }
      }
      task = Task{};  // the task's captures (its call among them) are released before the lane moves on
      lock.lock();
      --s.running;
      idle_since = s.Now();
    }
    --s.workers;
  }
};

WorkQueue::WorkQueue(std::string name, int max_workers, size_t max_waiting, ThreadRegistry* threads,
                     platform::Clock* clock, std::chrono::milliseconds linger, ThreadStarter start_thread)
    : state_(std::make_shared<State>()) {
  if (!start_thread && threads != nullptr) {
    start_thread = [threads](std::string name, std::function<void()> work, std::string* error) {
      return threads->Start(std::move(name), std::move(work), error);
    };
  }
  state_->start_thread = std::move(start_thread);
  state_->name = std::move(name);
  state_->max_workers = max_workers < 1 ? 1 : max_workers;
  state_->max_waiting = max_waiting;
  state_->threads = threads;
  if (threads != nullptr) {
    // Idle workers wait on `wake`: a stop request wakes them at once rather than at their next look.
    waker_ = threads->AddWaker([weak = std::weak_ptr<State>(state_)] {
      const std::shared_ptr<State> state = weak.lock();
      if (!state) return;
      { std::lock_guard lock(state->mutex); }  // a worker between its look and its wait is waiting now
      state->wake.notify_all();
    });
  }
  state_->clock = clock;
  state_->linger = linger;
}

WorkQueue::~WorkQueue() {
  if (state_->threads != nullptr) state_->threads->RemoveWaker(waker_);
  CancelWaiting();
  {
    std::lock_guard lock(state_->mutex);
    state_->closed = true;
  }
  state_->wake.notify_all();
}

void WorkQueue::HoldReadsWhenFull(FullListener listener) {
  std::lock_guard lock(state_->mutex);
  state_->on_full = std::move(listener);
}

bool WorkQueue::Submit(Task task, std::string* error) {
  State& s = *state_;
  std::unique_lock lock(s.mutex);
  if (s.closed || (!s.on_full && s.queue.size() >= s.max_waiting)) {
    if (error) *error = std::to_string(s.queue.size()) + " " + s.name + " tasks already wait";
    return false;
  }
  s.queue.push_back(std::move(task));
  s.UpdateHold();
  // Workers already waiting take the queued tasks; otherwise start one while fewer than the limit run.
  const size_t idle = static_cast<size_t>(s.workers - s.running);
  if (idle >= s.queue.size() || s.workers >= s.max_workers) {
    lock.unlock();
    s.wake.notify_one();
    return true;
  }
  ++s.workers;
  lock.unlock();
  std::string reason = "no thread registry";
  if (s.start_thread && s.start_thread(s.name, [self = state_] { State::WorkerLoop(self); }, &reason)) return true;
  lock.lock();
  --s.workers;
  if (s.workers > 0) return true;  // a running worker will take the task
  Task refused = std::move(s.queue.back());
  s.queue.pop_back();
  s.UpdateHold();
  lock.unlock();
  if (error) *error = reason;
  return false;
}

void WorkQueue::CancelWaiting() {
  std::deque<Task> cancelled;
  {
    std::lock_guard lock(state_->mutex);
    cancelled.swap(state_->queue);
    state_->UpdateHold();
  }
  for (Task& task : cancelled) State::Cancel(task);
}

const std::string& WorkQueue::name() const { return state_->name; }

int WorkQueue::max_workers() const { return state_->max_workers; }

size_t WorkQueue::waiting() const {
  std::lock_guard lock(state_->mutex);
  return state_->queue.size();
}

int WorkQueue::running() const {
  std::lock_guard lock(state_->mutex);
  return state_->running;
}

int WorkQueue::workers() const {
  std::lock_guard lock(state_->mutex);
  return state_->workers;
}

}  // namespace runner
