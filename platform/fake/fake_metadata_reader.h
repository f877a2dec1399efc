// FakeMetadataReader: a MetadataReader answering from pictures arranged in memory, for handler tests.
#pragma once

#include <map>
#include <mutex>
#include <string>

#include "platform/metadata_reader.h"

namespace platform {

// Thread safety: every method may be called from any thread.
class FakeMetadataReader : public MetadataReader {
 public:
  // `path` reads as `metadata`.
  void Add(const std::string& path, PictureMetadata metadata) {
    std::lock_guard lock(mutex_);
    pictures_[path] = std::move(metadata);
    failures_.erase(path);
  }
  // `path` fails with `status` (a path never arranged fails with kNotFound).
  void Fail(const std::string& path, imaging::MetadataStatus status) {
    std::lock_guard lock(mutex_);
    pictures_.erase(path);
    failures_[path] = status;
  }
  int reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
  }

  std::optional<PictureMetadata> Read(const std::string& path, imaging::MetadataStatus* status = nullptr) const override {
    std::lock_guard lock(mutex_);
    ++reads_;
    auto found = pictures_.find(path);
    if (found != pictures_.end()) {
      if (status) *status = imaging::MetadataStatus::kOk;
      return found->second;
    }
    auto failed = failures_.find(path);
    if (status) *status = failed != failures_.end() ? failed->second : imaging::MetadataStatus::kNotFound;
    return std::nullopt;
  }

 private:
  mutable std::mutex mutex_;
  mutable int reads_ = 0;
  std::map<std::string, PictureMetadata> pictures_;
  std::map<std::string, imaging::MetadataStatus> failures_;
};

}  // namespace platform
