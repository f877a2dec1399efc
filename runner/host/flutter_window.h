// The main window: owns the engine and the four channels.
#pragma once

#include <memory>
#include <mutex>

#include "flutter/engine/engine.h"
#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner {

// Lifecycle: construct, Create, serve, Destroy
// (the window closing: the engine stops), then release the object (the channels go with it).
// Thread safety: call from the thread that owns the window, which is never the platform thread.
class FlutterWindow {
 public:
  // `services` (ports and shared state for the handlers) must outlive the window.
  explicit FlutterWindow(const Services& services);
  ~FlutterWindow();

  // Starts the engine, then on the platform thread creates the channels printing, thumbnail, media_info
  // and face_rects, in that order. Returns false when the engine cannot
  // be started (the window then has none).
  bool Create();

  // The window closing: the engine shuts down (messages already queued are handled first, answers given
  // afterwards are dropped), then, when `join_threads`, the handlers' background threads are joined (the
  // host passes false only when it ends the process without them). The channels stay until the window
  // object is released. Idempotent.
  void Destroy(bool join_threads = true);

  // The running engine, or null before Create and after Destroy.
  flutter::engine::Engine* engine() { return engine_.get(); }

 private:
  // Runs on the platform thread.
  void OnWindowCreated();

  Services services_;
  std::mutex engine_mutex_;  // guards engine_ between the owning thread and the platform thread
  std::unique_ptr<flutter::engine::Engine> engine_;
  std::unique_ptr<Channel> printing_channel_;
  std::unique_ptr<Channel> thumbnail_channel_;
  std::unique_ptr<Channel> media_info_channel_;
  std::unique_ptr<Channel> face_channel_;
};

}  // namespace runner
