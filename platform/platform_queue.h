// PlatformQueue: the platform thread's other work, as a modal dialog's own loop sees it while the dialog
// holds that thread. The loop keeps it served, so that other calls are answered while the user chooses.
#pragma once

#include <functional>

namespace platform {

// Thread safety: both methods on the platform thread only (the wake function itself is called from any
// thread).
class PlatformQueue {
 public:
  virtual ~PlatformQueue() = default;

  // Installs `wake`, called on the queueing thread each time work is queued for the platform thread and
  // once when the thread begins to stop; an empty function removes it.
  virtual void SetWake(std::function<void()> wake) = 0;

  // Runs the work queued so far (and what it queues). False once the platform thread is stopping: the
  // dialog should close as cancelled.
  virtual bool RunQueued() = 0;
};

}  // namespace platform
