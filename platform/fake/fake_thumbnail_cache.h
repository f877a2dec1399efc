// FakeThumbnailCache: a ThumbnailCache answering from entries arranged in memory.
#pragma once

#include <map>
#include <mutex>
#include <utility>
#include <vector>

#include "platform/thumbnail_cache.h"

namespace platform {

// Thread safety: every method may be called from any thread.
class FakeThumbnailCache : public ThumbnailCache {
 public:
  // `path` has a valid entry at `entry` in the size class of `side_px`.
  void AddEntry(const std::string& path, int side_px, const std::string& entry) {
    std::lock_guard lock(mutex_);
    entries_[path].emplace_back(side_px, entry);
  }
  // The min_side_px of every look-up, in order.
  std::vector<int> lookups() const {
    std::lock_guard lock(mutex_);
    return lookups_;
  }

  std::optional<std::string> FindEntry(const std::string& path, int min_side_px) const override {
    std::lock_guard lock(mutex_);
    lookups_.push_back(min_side_px);
    auto found = entries_.find(path);
    if (found == entries_.end()) return std::nullopt;
    const std::pair<int, std::string>* best = nullptr;
    for (const auto& entry : found->second) {
      if (entry.first >= min_side_px && (best == nullptr || entry.first < best->first)) best = &entry;
    }
    if (best == nullptr) return std::nullopt;
    return best->second;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::vector<std::pair<int, std::string>>> entries_;
  mutable std::vector<int> lookups_;
};

}  // namespace platform
