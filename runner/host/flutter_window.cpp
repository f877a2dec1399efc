// The main window.
#include "runner/host/flutter_window.h"

#include "runner/insight/insight_channels.h"
#include "runner/printing/printing_channel.h"
#include "runner/thread_registry.h"

namespace runner {

FlutterWindow::FlutterWindow(const Services& services) : services_(services) {}

FlutterWindow::~FlutterWindow() {
  // The engine stops before the channels are released (they are members, destroyed after this body).
  Destroy();
}

bool FlutterWindow::Create() {
  Destroy();
  auto engine = std::make_unique<flutter::engine::Engine>();
  {
    std::lock_guard lock(engine_mutex_);
    engine_ = std::move(engine);
  }
  if (!engine_->RunOnPlatformThread([this] { OnWindowCreated(); })) {
    Destroy();
    return false;
  }
  return true;
}

void FlutterWindow::OnWindowCreated() {
  flutter::BinaryMessenger* messenger = engine_->messenger();
  printing::SetupPrintingChannel(messenger, printing_channel_, services_);
  insight::SetupThumbnailChannel(messenger, thumbnail_channel_, services_);
  insight::SetupMediaInfoChannel(messenger, media_info_channel_, services_);
  insight::SetupFaceRectsChannel(messenger, face_channel_, services_);
}

void FlutterWindow::Destroy(bool join_threads) {
  std::unique_ptr<flutter::engine::Engine> engine;
  {
    std::lock_guard lock(engine_mutex_);
    engine = std::move(engine_);
  }
  // Shutting down runs the tasks already queued, which may still use engine_ through this window; they
  // see it as gone, as a window handle is gone once destruction starts.
  if (engine) engine->Shutdown();
  // Work still running answers into a stopped engine (dropped); it is waited for before the window's
  // services may go away.
  if (join_threads && services_.threads) services_.threads->JoinAll();
}

}  // namespace runner
