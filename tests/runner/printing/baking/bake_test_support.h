// Test doubles for the baking tests: a result that records its one answer, and a small file system.
#pragma once

#include <cerrno>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/file_system.h"
#include "runner/channel.h"

namespace runner::printing::testing {

// Records the answer; counts answers so a second one shows.
class RecordedResult : public MethodResult {
 public:
  int answers = 0;
  bool success = false;
  EncodableValue value;
  std::string code;
  std::string message;

  const EncodableMap& map() const { return std::get<EncodableMap>(value); }

 protected:
  void SuccessInternal(const EncodableValue* result) override {
    ++answers;
    success = true;
    if (result) value = *result;
  }
  void ErrorInternal(const std::string& error_code, const std::string& error_message,
                     const EncodableValue*) override {
    ++answers;
    code = error_code;
    message = error_message;
  }
  void NotImplementedInternal() override { ++answers; }
};

// Folders and files in memory under one temporary folder. Thread-safe.
class MemoryFileSystem : public platform::FileSystem {
 public:
  std::optional<std::string> TempFolder(int* error) override {
    std::lock_guard lock(mutex_);
    if (temp_error != 0) {
      *error = temp_error;
      return std::nullopt;
    }
    return std::string("/tmp/PictaVera_Temp-test");
  }
  int CreateFolder(const std::string& path, uint32_t) override {
    std::lock_guard lock(mutex_);
    if (create_folder_error != 0) return create_folder_error;
    return folders.insert(path).second ? 0 : EEXIST;
  }
  int WriteNewFile(const std::string& path, const std::vector<uint8_t>& bytes, uint32_t) override {
    std::lock_guard lock(mutex_);
    if (write_error != 0) return write_error;
    return files.emplace(path, bytes).second ? 0 : EEXIST;
  }
  int ReplaceFile(const std::string& path, const std::vector<uint8_t>& bytes) override {
    std::lock_guard lock(mutex_);
    files[path] = bytes;
    return 0;
  }
  std::optional<std::vector<uint8_t>> ReadFile(const std::string& path, size_t, int* error) override {
    std::lock_guard lock(mutex_);
    auto found = files.find(path);
    if (found == files.end()) {
      *error = ENOENT;
      return std::nullopt;
    }
    return found->second;
  }
  int RemoveFile(const std::string& path) override {
    std::lock_guard lock(mutex_);
    return files.erase(path) ? 0 : ENOENT;
  }
  bool IsRegularFile(const std::string& path) override {
    std::lock_guard lock(mutex_);
    return files.count(path) != 0;
  }

  // Arranged by the tests before the bake runs; read after it.
  int temp_error = 0;
  int create_folder_error = 0;
  int write_error = 0;
  std::set<std::string> folders;
  std::map<std::string, std::vector<uint8_t>> files;

 private:
  std::mutex mutex_;
};

}  // namespace runner::printing::testing
