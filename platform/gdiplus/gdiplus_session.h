// GdiplusSession: one start of GDI+, the Windows graphics library, and its shutdown.
//
// GDI+ counts its starts itself: every successful start is matched by one shutdown, and the library runs
// while any start is outstanding. The Windows Graphics adapter holds one session for as long as it lives,
// so everything drawn through the port (bakes, prints, sheets) runs inside it.
// Thread safety: one thread at a time per session; separate sessions are independent.
#pragma once

#include <cstdint>

#include "platform/graphics.h"

namespace platform {

class GdiplusSession {
 public:
  GdiplusSession() = default;
  ~GdiplusSession() { Stop(); }
  GdiplusSession(const GdiplusSession&) = delete;
  GdiplusSession& operator=(const GdiplusSession&) = delete;

  // Starts GDI+ (version 1, no debug callback, its background thread and external codecs allowed). kOk
  // when the session runs (also when it already did), else the kind of GDI+'s failure, with the session
  // left stopped.
  GraphicsStatus Start();
  // Shuts this session's start down; nothing when it is not running.
  void Stop();
  bool running() const { return running_; }

 private:
  uintptr_t token_ = 0;
  bool running_ = false;
};

}  // namespace platform
