// The engine stand-in: the platform thread and the messenger, started and shut down together (the view
// controller's engine on the desktop).
#pragma once

#include <functional>

#include "flutter/engine/messenger.h"
#include "flutter/engine/platform_thread.h"

namespace flutter::engine {

// Thread safety: every method may be called from any thread except where noted.
class Engine {
 public:
  // Starts the platform thread.
  Engine();
  // Shuts down if that has not happened yet. Must not run on the platform thread.
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  EngineMessenger* messenger() { return &messenger_; }

  // Queues `task` on the platform thread; false after shutdown (the task is destroyed unrun).
  bool PostTask(PlatformThread::Task task) { return platform_.PostTask(std::move(task)); }
  bool RunsTasksOnCurrentThread() const { return platform_.RunsTasksOnCurrentThread(); }

  // Runs `task` on the platform thread and waits for it (runs it directly when already there).
  // Returns false, without running it, after shutdown.
  bool RunOnPlatformThread(const std::function<void()>& task);

  // Refuses new tasks, runs the tasks already queued, joins the platform thread, then drops
  // every later answer (answers being sent at that moment finish first). Idempotent. Not on the platform
  // thread.
  void Shutdown();

 private:
  PlatformThread platform_;
  EngineMessenger messenger_{platform_};
};

}  // namespace flutter::engine
