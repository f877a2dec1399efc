// FakeSettingsStore: an in-memory SettingsStore whose reads and writes can be made to fail.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>

#include "platform/settings_store.h"

namespace platform {

// Thread safety: every method may be called from any thread.
class FakeSettingsStore : public SettingsStore {
 public:
  std::optional<std::string> Get(const std::string& name) const override {
    std::lock_guard lock(mutex_);
    if (unreadable_) return std::nullopt;
    auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
  }

  base::Status Set(const std::string& name, const std::string& value) override {
    std::lock_guard lock(mutex_);
    ++writes_;
    if (!write_failure_.ok()) return write_failure_;
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      return base::Status::InvalidArgument(name + ": a value with a line break or NUL");
    }
    values_[name] = value;
    return base::Status::Ok();
  }

  std::optional<std::map<std::string, std::string>> GetMany(const std::vector<std::string>& names) const override {
    std::lock_guard lock(mutex_);
    ++reads_;
    if (unreadable_) return std::nullopt;
    std::map<std::string, std::string> found;
    for (const std::string& name : names) {
      if (auto value = values_.find(name); value != values_.end()) found.emplace(name, value->second);
    }
    return found;
  }

  // One write for all the changes, all or none; a failure arranged by FailWrites is answered as given.
  base::Status SetMany(const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) override {
    std::lock_guard lock(mutex_);
    ++writes_;
    if (!write_failure_.ok()) return write_failure_;
    for (const auto& [name, value] : changes) {
      if (value && value->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
        return base::Status::InvalidArgument(name + ": a value with a line break or NUL");
      }
    }
    for (const auto& [name, value] : changes) {
      if (value) values_[name] = *value;
      else values_.erase(name);
    }
    return base::Status::Ok();
  }

  // Arranging the store.
  void Put(const std::string& name, const std::string& value) {
    std::lock_guard lock(mutex_);
    values_[name] = value;
  }
  void SetUnreadable(bool unreadable) {
    std::lock_guard lock(mutex_);
    unreadable_ = unreadable;
  }
  // Every later Set and SetMany fails with `status` (kUnavailable: a store that cannot be made; any
  // other kind: a value that cannot be written); an ok status restores working writes.
  void FailWrites(base::Status status) {
    std::lock_guard lock(mutex_);
    write_failure_ = std::move(status);
  }
  int writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }
  // GetMany calls (each one read of the whole store).
  int reads() const {
    std::lock_guard lock(mutex_);
    return reads_;
  }
  std::optional<std::string> Held(const std::string& name) const {
    std::lock_guard lock(mutex_);
    auto found = values_.find(name);
    if (found == values_.end()) return std::nullopt;
    return found->second;
  }
  std::map<std::string, std::string> values() const {
    std::lock_guard lock(mutex_);
    return values_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;
  bool unreadable_ = false;
  base::Status write_failure_;
  int writes_ = 0;
  mutable int reads_ = 0;
};

}  // namespace platform
