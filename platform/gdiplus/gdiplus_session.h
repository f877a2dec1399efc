// GdiplusSession: one start of GDI+, the Windows graphics library, and its shutdown.
//
// GDI+ counts its starts itself: every successful start is matched by one shutdown, and the library runs
// while any start is outstanding. The Windows Graphics adapter holds one session for as long as it lives;
// the bakes' reference count (runner/printing/baking/graphics_library.h) drives another through Start and
// Stop, so a bake starts and stops the library as on a machine where nothing else holds it.
// Thread safety: one thread at a time per session (the bakes' count calls it under its mutex); separate
// sessions are independent.
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
  // when the session runs (also when it already did), else GDI+'s status, numbered as GraphicsStatus
  // is, with the session left stopped.
  GraphicsStatus Start();
  // Shuts this session's start down; nothing when it is not running.
  void Stop();
  bool running() const { return running_; }

  // The bakes' waits for this library: it is given time to settle after the workers start, their progress
  // is looked at every 10 ms, and it is given time to drain after the last image before it is stopped.
  static LibraryWaits BakeWaits();

 private:
  uintptr_t token_ = 0;
  bool running_ = false;
};

}  // namespace platform
