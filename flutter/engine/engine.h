// The engine stand-in: the platform thread, the messenger and the plug-in registrars, started and shut
// down together (the view controller's engine on the desktop).
#pragma once

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "flutter/engine/messenger.h"
#include "flutter/engine/platform_thread.h"

// What a plug-in receives to register itself: its name and the engine's messenger.
struct FlutterDesktopPluginRegistrar {
  std::string plugin_name;
  flutter::BinaryMessenger* messenger = nullptr;
};
typedef FlutterDesktopPluginRegistrar* FlutterDesktopPluginRegistrarRef;

namespace flutter::engine {

// Thread safety: every method may be called from any thread except where noted.
class Engine {
 public:
  // Starts the platform thread.
  Engine();
  // Shuts down if that has not happened yet. Must not run on the platform thread.
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  EngineMessenger* messenger() { return &messenger_; }

  // Queues `task` on the platform thread; false after shutdown (the task is destroyed unrun).
  bool PostTask(PlatformThread::Task task) { return platform_.PostTask(std::move(task)); }
  bool RunsTasksOnCurrentThread() const { return platform_.RunsTasksOnCurrentThread(); }

  // Window messages to the main window's thread (PlatformThread::PostWindowMessage).
  bool PostWindowMessage(uint32_t message, uintptr_t wparam, intptr_t lparam) {
    return platform_.PostWindowMessage(message, wparam, lparam);
  }
  void SetWindowMessageHandler(PlatformThread::MessageHandler handler) { platform_.SetMessageHandler(std::move(handler)); }

  // Runs `task` on the platform thread and waits for it (runs it directly when already there).
  // Returns false, without running it, after shutdown.
  bool RunOnPlatformThread(const std::function<void()>& task);

  // The registrar for `plugin_name`, one per name, owned by the engine and valid until it is destroyed.
  FlutterDesktopPluginRegistrarRef GetRegistrarForPlugin(const std::string& plugin_name);
  // Names registrars were asked for, in order of first request.
  std::vector<std::string> RegistrarNames();

  // Refuses new tasks and messages, runs the tasks already queued, joins the platform thread, then drops
  // every later answer (answers being sent at that moment finish first). Idempotent. Not on the platform
  // thread.
  void Shutdown();

 private:
  PlatformThread platform_;
  EngineMessenger messenger_{platform_};
  std::mutex registrars_mutex_;
  std::vector<std::unique_ptr<FlutterDesktopPluginRegistrar>> registrars_;
};

}  // namespace flutter::engine
