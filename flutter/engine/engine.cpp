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

void Engine::Shutdown() {
  platform_.Shutdown();
  messenger_.Shutdown();
}

}  // namespace flutter::engine

