// The main window.
#include "runner/host/flutter_window.h"

#include <cstdio>

#include "runner/thread_registry.h"

#include "runner/insight/insight_channels.h"
#include "runner/insight/face_workers.h"
#include "runner/host/plugin_registrant.h"
#include "runner/printing/printing_channel.h"

namespace runner {

DartProject DartProject::FromFolder(const std::string& folder) {
  return DartProject{folder + "/flutter_assets", folder + "/icudtl.dat", folder + "/app.so", {}};
}

FlutterWindow::FlutterWindow(DartProject project, const Services& services)
    : project_(std::move(project)), services_(services) {
  // HandleMessage hands the face channel's delivery every face-results message that carries a payload.
  SetMessageHandler(kFaceResultsMessage, insight::DeliverFaceResults);
}

FlutterWindow::~FlutterWindow() {
  // The engine stops before the channels are released (they are members, destroyed after this body).
  Destroy();
}

bool FlutterWindow::Create() {
  Destroy();
  auto engine = std::make_unique<flutter::engine::Engine>();
  // A posted message carries its payload as the long parameter; the handler takes ownership back.
  engine->SetWindowMessageHandler([this](uint32_t message, uintptr_t wparam, intptr_t lparam) {
    HandleMessage(message, wparam, std::unique_ptr<WindowMessagePayload>(reinterpret_cast<WindowMessagePayload*>(lparam)));
  });
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
  RegisterPlugins(engine_.get());
  flutter::BinaryMessenger* messenger = engine_->messenger();
  printing::SetupPrintingChannel(messenger, printing_channel_, services_);
  insight::SetupThumbnailChannel(messenger, thumbnail_channel_, services_);
  insight::SetupMediaInfoChannel(messenger, media_info_channel_, services_);
  insight::SetupFaceRectsChannel(messenger, face_channel_, services_, weak_from_this());
  // Face results come back as kFaceResultsMessage, delivered by the handler the constructor installed.
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

bool FlutterWindow::PostWindowMessage(uint32_t message, uintptr_t wparam,
                                      std::unique_ptr<WindowMessagePayload> payload) {
  std::lock_guard lock(engine_mutex_);
  if (!engine_) return false;
  // The payload travels as the message's long parameter (on Windows through the platform thread's
  // window); every queued message is handled, so only a refused one leaves it here to release.
  WindowMessagePayload* raw = payload.release();
  if (engine_->PostWindowMessage(message, wparam, reinterpret_cast<intptr_t>(raw))) return true;
  delete raw;
  return false;
}

void FlutterWindow::SetMessageHandler(uint32_t message, WindowMessageHandler handler) {
  message_handlers_[message] = std::move(handler);
}

void FlutterWindow::HandleMessage(uint32_t message, uintptr_t wparam,
                                  std::unique_ptr<WindowMessagePayload> payload) {
  // The face results message without a payload carries nothing to deliver.
  if (message == kFaceResultsMessage && payload == nullptr) return;
  auto it = message_handlers_.find(message);
  if (it == message_handlers_.end() || !it->second) {
    std::fprintf(stderr, "ERROR: window message 0x%x has no handler; its payload is dropped\n", message);
    return;
  }
  it->second(wparam, std::move(payload));
}

}  // namespace runner
