// What the platform thread does the same way on every platform: running a task, handing over a window
// message, serving the queue from a modal loop.
#include <cstdio>
#include <exception>
#include <string>

#include "flutter/engine/platform_thread.h"
#include "flutter/log.h"

namespace flutter::engine {
namespace {

thread_local PlatformThread* current_platform_thread = nullptr;

}  // namespace

PlatformThread* PlatformThread::Current() { return current_platform_thread; }

void PlatformThread::MarkCurrentThread() { current_platform_thread = this; }

void PlatformThread::SetModalWake(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  modal_wake_ = std::move(wake);
}

void PlatformThread::WakeModalLoop() {
  std::function<void()> wake;
  {
    std::lock_guard lock(mutex_);
    wake = modal_wake_;
  }
  if (wake) wake();
}

bool PlatformThread::RunQueued() {
  RunQueuedTasks();
  std::lock_guard lock(mutex_);
  return accepting_;
}

void PlatformThread::RunGuarded(const Task& task) {
  // A task that throws must not take the whole host down with it: the message loop keeps running.
  try {
    task();
  } catch (const std::exception& e) {
    LogLine(std::string("ERROR: uncaught exception in a platform task: ") + e.what());
  } catch (...) {
    std::fputs("ERROR: uncaught exception in a platform task\n", stderr);
  }
}

}  // namespace flutter::engine
