// ThreadRegistry: start, reap and join the handlers' background threads.
#include "runner/thread_registry.h"

#include <exception>
#include <system_error>

#include "runner/log.h"

namespace runner {

ThreadRegistry::~ThreadRegistry() { JoinAll(); }

bool ThreadRegistry::Start(std::string name, std::function<void()> work, std::string* error) {
  auto finished = std::make_shared<std::atomic<bool>>(false);
  std::lock_guard lock(mutex_);
  ReapFinishedLocked();
  try {
    std::thread thread([name = std::move(name), work = std::move(work), finished]() mutable {
      try {
        work();
      } catch (const std::exception& e) {
        LogLine("ERROR: uncaught exception in " + name + ": " + e.what());
      } catch (...) {
        LogLine("ERROR: uncaught exception in " + name);
      }
      work = nullptr;  // captures (result objects among them) are released on this thread, before it ends
      finished->store(true);
    });
    entries_.push_back(Entry{std::move(thread), std::move(finished)});
  } catch (const std::system_error& e) {
    if (error) *error = e.what();
    return false;
  }
  return true;
}

void ThreadRegistry::JoinAll() {
  stopping_.store(true);
  for (;;) {
    std::list<Entry> entries;
    {
      std::lock_guard lock(mutex_);
      if (entries_.empty()) break;
      entries.swap(entries_);
    }
    for (Entry& entry : entries) {
      if (entry.thread.get_id() == std::this_thread::get_id()) {
        LogLine("ERROR: a background thread asked to join itself; it is left to end on its own");
        entry.thread.detach();
        continue;
      }
      entry.thread.join();
    }
  }
  stopping_.store(false);
}

bool ThreadRegistry::JoinAllUntil(std::chrono::steady_clock::time_point deadline) {
  stopping_.store(true);
  for (;;) {
    bool all_finished = true;
    {
      std::lock_guard lock(mutex_);
      ReapFinishedLocked();
      all_finished = entries_.empty();
    }
    if (all_finished) break;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  stopping_.store(false);
  return true;
}

size_t ThreadRegistry::size() const {
  std::lock_guard lock(mutex_);
  return entries_.size();
}

void ThreadRegistry::ReapFinishedLocked() {
  for (auto it = entries_.begin(); it != entries_.end();) {
    if (it->finished->load()) {
      it->thread.join();
      it = entries_.erase(it);
    } else {
      ++it;
    }
  }
}

}  // namespace runner
