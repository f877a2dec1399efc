// The platform thread: one thread running a FIFO task queue, the stand-in for the main window's message loop.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

namespace flutter::engine {

// Runs posted tasks one at a time, in posting order, on its own thread. Every incoming method call is
// delivered through it, so handlers never run concurrently with each other.
// Thread safety: PostTask and RunsTasksOnCurrentThread may be called from any thread, tasks included.
// Shutdown may be called from any thread except the platform thread itself (it joins that thread).
class PlatformThread {
 public:
  using Task = std::function<void()>;

  // Starts the thread.
  PlatformThread();
  // Shuts down if that has not happened yet.
  ~PlatformThread();
  PlatformThread(const PlatformThread&) = delete;
  PlatformThread& operator=(const PlatformThread&) = delete;

  // Queues `task`. Returns true when queued; false once Shutdown has begun, in which case `task` is
  // destroyed unrun (as a message posted to a destroyed window is lost).
  bool PostTask(Task task);

  // True on the platform thread.
  bool RunsTasksOnCurrentThread() const;

  // Refuses further tasks, lets the tasks already queued run (a window handles the messages queued before
  // its close first), then joins the thread. Idempotent.
  void Shutdown();

 private:
  void Run();

  std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<Task> queue_;
  bool accepting_ = true;
  std::thread thread_;
  std::thread::id thread_id_;
};

}  // namespace flutter::engine
