// The main window: owns the engine and the four channels, and takes window messages from work threads.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "flutter/engine/engine.h"
#include "runner/channels/channel.h"
#include "runner/services.h"
#include "runner/window_messages.h"

namespace runner {

// The description of the interface program: where its files would be and its entry point's arguments.
// There is no Dart program on this platform; the paths are kept so the host starts as it would with one.
struct DartProject {
  std::string assets_path;      // "data/flutter_assets"
  std::string icu_data_path;    // "data/icudtl.dat"
  std::string aot_library_path; // "data/app.so"
  std::vector<std::string> dart_entrypoint_arguments;  // UTF-8, in command-line order

  // The description for the project folder `folder` ("data" beside the program).
  static DartProject FromFolder(const std::string& folder);
};

// Handles one kind of window message on the platform thread; takes ownership of `payload` (never null).
using WindowMessageHandler =
    std::function<void(uintptr_t wparam, std::unique_ptr<WindowMessagePayload> payload)>;

// Lifecycle: construct (through std::make_shared, since work threads hold it weakly), Create, serve, Destroy
// (the window closing: the engine stops), then release the object (the channels go with it).
// Thread safety: PostWindowMessage from any thread; the rest from the thread that owns the window, which is
// never the platform thread.
class FlutterWindow : public WindowMessageTarget, public std::enable_shared_from_this<FlutterWindow> {
 public:
  // `services` (ports and shared state for the handlers) must outlive the window.
  FlutterWindow(DartProject project, const Services& services);
  ~FlutterWindow() override;

  // Starts the engine, then on the platform thread registers the plug-ins and creates the channels
  // printing, thumbnail, media_info and face_rects, in that order. Returns false when the engine cannot
  // be started (the window then has none).
  bool Create();

  // The window closing: the engine shuts down (messages already queued are handled first, answers given
  // afterwards are dropped), then, when `join_threads`, the handlers' background threads are joined (the
  // host passes false only when it ends the process without them). The channels stay until the window
  // object is released. Idempotent.
  void Destroy(bool join_threads = true);

  // The running engine, or null before Create and after Destroy.
  flutter::engine::Engine* engine() { return engine_.get(); }
  const DartProject& project() const { return project_; }

  // Queues `message` for HandleMessage on the platform thread. False once the engine has stopped.
  bool PostWindowMessage(uint32_t message, uintptr_t wparam,
                         std::unique_ptr<WindowMessagePayload> payload) override;

  // Installs the handler of `message` (replacing any). Call before Create or on the platform thread.
  void SetMessageHandler(uint32_t message, WindowMessageHandler handler);

 private:
  // Runs on the platform thread.
  void OnWindowCreated();
  void HandleMessage(uint32_t message, uintptr_t wparam, std::unique_ptr<WindowMessagePayload> payload);

  DartProject project_;
  Services services_;
  std::mutex engine_mutex_;  // guards engine_ against PostWindowMessage from work threads
  std::unique_ptr<flutter::engine::Engine> engine_;
  std::map<uint32_t, WindowMessageHandler> message_handlers_;
  std::unique_ptr<Channel> printing_channel_;
  std::unique_ptr<Channel> thumbnail_channel_;
  std::unique_ptr<Channel> media_info_channel_;
  std::unique_ptr<Channel> face_channel_;
};

}  // namespace runner
