// ThreadRegistry: start, reap and join the handlers' background threads.
#include "runner/thread_registry.h"

#include <exception>
#include <system_error>
#include <vector>

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

void ThreadRegistry::RequestStop() { StopAndWake(); }

uint64_t ThreadRegistry::AddWaker(std::function<void()> wake) {
  std::lock_guard lock(mutex_);
  wakers_.emplace(next_waker_, std::move(wake));
  return next_waker_++;
}

void ThreadRegistry::RemoveWaker(uint64_t key) {
  std::lock_guard lock(mutex_);
  wakers_.erase(key);
}

void ThreadRegistry::StopAndWake() {
  stopping_.store(true);
  std::vector<std::function<void()>> wakers;
  {
    std::lock_guard lock(mutex_);
    for (const auto& [key, wake] : wakers_) wakers.push_back(wake);
  }
  for (const auto& wake : wakers) wake();
}

void ThreadRegistry::JoinAll() {
  StopAndWake();
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
  StopAndWake();
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
