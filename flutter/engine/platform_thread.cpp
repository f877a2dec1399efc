// The platform thread's task queue, woken by a condition variable (Windows: platform_thread_win.cpp).
#include "flutter/engine/platform_thread.h"

#include <cstdio>
#include <exception>
#include <string>

#include "flutter/log.h"

namespace flutter::engine {

PlatformThread::PlatformThread() {
  std::unique_lock lock(mutex_);
  thread_ = std::thread([this] { Run(); });
  thread_id_ = thread_.get_id();
}

PlatformThread::~PlatformThread() { Shutdown(); }

bool PlatformThread::PostTask(Task task) {
  {
    std::lock_guard lock(mutex_);
    if (!accepting_) return false;
    queue_.push_back(std::move(task));
  }
  wake_.notify_one();
  WakeModalLoop();
  return true;
}

bool PlatformThread::RunsTasksOnCurrentThread() const { return std::this_thread::get_id() == thread_id_; }

void PlatformThread::Shutdown() {
  {
    std::lock_guard lock(mutex_);
    accepting_ = false;
  }
  wake_.notify_one();
  WakeModalLoop();
  if (RunsTasksOnCurrentThread()) {
    std::fputs("ERROR: platform thread asked to join itself; it stops after the current task\n", stderr);
    return;
  }
  if (thread_.joinable()) thread_.join();
}

void PlatformThread::RunQueuedTasks() {
  for (;;) {
    Task task;
    {
      std::lock_guard lock(mutex_);
      if (queue_.empty()) return;
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    RunGuarded(task);
  }
}

void PlatformThread::Run() {
  // Wait until the constructor has recorded the thread id, so RunsTasksOnCurrentThread is right in tasks.
  { std::lock_guard lock(mutex_); }
  MarkCurrentThread();
  for (;;) {
    Task task;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [this] { return !queue_.empty() || !accepting_; });
      if (queue_.empty()) return;  // not accepting and drained
      task = std::move(queue_.front());
      queue_.pop_front();
    }
    RunGuarded(task);
  }
}

}  // namespace flutter::engine
