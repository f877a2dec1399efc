// A temporary folder for the Windows adapters' tests, with UTF-8 file names (std::filesystem::path
// takes a std::string as bytes of the ANSI code page with mingw, so names go through char8_t here).
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace platform::testing {

class WindowsTempFolder {
 public:
  WindowsTempFolder() {
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    folder_ = std::filesystem::temp_directory_path() / ("pv-win-" + std::to_string(stamp));
    std::filesystem::create_directories(folder_);
  }
  ~WindowsTempFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
  }
  WindowsTempFolder(const WindowsTempFolder&) = delete;
  WindowsTempFolder& operator=(const WindowsTempFolder&) = delete;

  // The UTF-8 path of `name` (UTF-8) in the folder.
  std::string Path(const std::string& name) const {
    const std::u8string wide_safe = (folder_ / std::u8string(name.begin(), name.end())).u8string();
    return std::string(wide_safe.begin(), wide_safe.end());
  }
  // Writes `bytes` as `name` and answers its UTF-8 path.
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) const {
    const std::filesystem::path path = folder_ / std::u8string(name.begin(), name.end());
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    EXPECT_TRUE(out.good()) << name;
    return Path(name);
  }
  std::string Folder() const {
    const std::u8string text = folder_.u8string();
    return std::string(text.begin(), text.end());
  }

 private:
  std::filesystem::path folder_;
};

}  // namespace platform::testing
