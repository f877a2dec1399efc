// ReadGate: how the work behind the messenger stops the transports from reading new calls while it has
// no room for them (back-pressure), instead of refusing calls it has already read.
//
// A lane whose queue is full holds the gate; while anyone holds it, no transport reads a client (what was
// read is still delivered and answered; replies are still written). The last release wakes the serve
// loops, which read again.
// Thread safety: every method may be called from any thread.
#pragma once

#include <atomic>

#include "flutter/engine/wake_pipe.h"

namespace flutter::engine {

class ReadGate {
 public:
  ReadGate() = default;
  ReadGate(const ReadGate&) = delete;
  ReadGate& operator=(const ReadGate&) = delete;

  // Each Hold is matched by one Release.
  void Hold() const { holds_.fetch_add(1); }
  void Release() const {
    if (holds_.fetch_sub(1) == 1) released_.NotifyOnce();
  }
  bool held() const { return holds_.load() > 0; }

  // Notified when the last hold is released. A serve loop clears it, then looks at held(), and waits for
  // it while the gate is held.
  const WakePipe& released() const { return released_; }

 private:
  mutable std::atomic<int> holds_{0};
  WakePipe released_;
};

}  // namespace flutter::engine
