// FakeSettingsStore: an in-memory SettingsStore whose reads and writes can be made to fail.
#pragma once

#include <map>
#include <mutex>
#include <optional>
#include <string>

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

  SettingsWriteStatus Set(const std::string& name, const std::string& value) override {
    std::lock_guard lock(mutex_);
    ++writes_;
    if (write_failure_ != SettingsWriteStatus::kOk) return write_failure_;
    if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      return SettingsWriteStatus::kCannotWriteValue;
    }
    values_[name] = value;
    return SettingsWriteStatus::kOk;
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
  // Every later Set fails with `status` (kOk restores working writes).
  void FailWrites(SettingsWriteStatus status) {
    std::lock_guard lock(mutex_);
    write_failure_ = status;
  }
  int writes() const {
    std::lock_guard lock(mutex_);
    return writes_;
  }

 private:
  mutable std::mutex mutex_;
  std::map<std::string, std::string> values_;
  bool unreadable_ = false;
  SettingsWriteStatus write_failure_ = SettingsWriteStatus::kOk;
  int writes_ = 0;
};

}  // namespace platform
