// The engine stand-in.
#include "flutter/engine/engine.h"

#include <future>

namespace flutter::engine {

Engine::Engine() = default;

Engine::~Engine() { Shutdown(); }

bool Engine::RunOnPlatformThread(const std::function<void()>& task) {
  if (platform_.RunsTasksOnCurrentThread()) {
    task();
    return true;
  }
  std::promise<void> done;
  auto finished = done.get_future();
  if (!platform_.PostTask([&task, &done] {
        try {
          task();
        } catch (...) {
          done.set_value();
          throw;
        }
        done.set_value();
      })) {
    return false;
  }
  finished.wait();
  return true;
}

FlutterDesktopPluginRegistrarRef Engine::GetRegistrarForPlugin(const std::string& plugin_name) {
  std::lock_guard lock(registrars_mutex_);
  for (auto& registrar : registrars_) {
    if (registrar->plugin_name == plugin_name) return registrar.get();
  }
  registrars_.push_back(std::make_unique<FlutterDesktopPluginRegistrar>(
      FlutterDesktopPluginRegistrar{plugin_name, &messenger_}));
  return registrars_.back().get();
}

std::vector<std::string> Engine::RegistrarNames() {
  std::lock_guard lock(registrars_mutex_);
  std::vector<std::string> names;
  for (auto& registrar : registrars_) names.push_back(registrar->plugin_name);
  return names;
}

void Engine::Shutdown() {
  platform_.Shutdown();
  messenger_.Shutdown();
}

}  // namespace flutter::engine

