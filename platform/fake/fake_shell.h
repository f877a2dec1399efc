// FakeShell: a desktop that records what it was asked to open, with paths that exist and answers that a
// test arranges.
#pragma once

#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/shell.h"

namespace platform {

// Thread safety: every method may be called from any thread.
class FakeShell : public Shell {
 public:
  // `path` is a regular file with data (anything not added is not one: missing, a folder, a FIFO...).
  void AddFile(const std::string& path) {
    std::lock_guard lock(mutex_);
    paths_.insert(path);
  }
  // Opening `path` answers `answer` (a refusal) instead of being accepted.
  void Refuse(const std::string& path, base::Status answer) {
    std::lock_guard lock(mutex_);
    refused_.emplace_back(path, answer);
  }
  std::vector<std::string> opened() const {
    std::lock_guard lock(mutex_);
    return opened_;
  }

  bool IsRegularFile(const std::string& path) override {
    std::lock_guard lock(mutex_);
    return paths_.count(path) != 0;
  }
  base::Status Open(const std::string& path) override {
    std::lock_guard lock(mutex_);
    for (const auto& [refused, answer] : refused_) {
      if (refused == path) return answer;
    }
    opened_.push_back(path);
    return base::Status::Ok();
  }

 private:
  mutable std::mutex mutex_;
  std::set<std::string> paths_;
  std::vector<std::pair<std::string, base::Status>> refused_;
  std::vector<std::string> opened_;
};

}  // namespace platform
