// The platform thread: one thread running a FIFO task queue, the stand-in for the main window's message loop.
// On Windows it is a real message loop: the thread owns a message-only window and tasks wake it with a
// window message (platform_thread_win.cpp); elsewhere a condition variable wakes it (platform_thread.cpp).
#pragma once

#include <condition_variable>
#include <cstdint>
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

  // The platform thread running the caller; null on every other thread.
  static PlatformThread* Current();

  // A modal loop of a task's own (a dialog on Linux) keeps the queue served: while `wake` is installed,
  // PostTask and Shutdown call it on their thread after queueing (or refusing), and the loop answers by
  // calling RunQueued on the platform thread. An empty function removes it. Platform thread only.
  void SetModalWake(std::function<void()> wake);
  // Runs the tasks queued so far, and those they queue. False once Shutdown has begun: the modal loop
  // should end. Platform thread only.
  bool RunQueued();

  // Refuses further tasks, lets the tasks already queued run (a window handles the messages queued before
  // its close first), then joins the thread. Idempotent.
  void Shutdown();

 private:
  friend struct PlatformThreadWindow;  // Windows: the window procedure's way in
  void Run();
  // Runs `task`, logging what it throws: the loop keeps running.
  static void RunGuarded(const Task& task);
  // Runs every task queued so far, and those they queue.
  void RunQueuedTasks();
  // Calls the modal wake, if one is installed (outside mutex_).
  void WakeModalLoop();
  // Makes Current() answer this object on the calling thread (the thread's first step).
  void MarkCurrentThread();

  std::mutex mutex_;
  std::function<void()> modal_wake_;  // guarded by mutex_
  void* window_ = nullptr;          // Windows: the message-only window, made and destroyed by the thread
  bool wake_posted_ = false;        // Windows: a run-tasks message is queued; guarded by mutex_
  std::condition_variable wake_;
  std::deque<Task> queue_;
  bool accepting_ = true;
  std::thread thread_;
  std::thread::id thread_id_;
};

}  // namespace flutter::engine
