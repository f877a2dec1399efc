// Files for tests: a fresh temporary folder per test, removed with everything in it, and whole-file
// reading and writing by UTF-8 path (the path convention of both programs).
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace test_support {

// The path named by UTF-8 text, and back. std::filesystem::path(std::string) reads the bytes in the
// platform's narrow encoding, which on Windows is not UTF-8.
std::filesystem::path PathFromUtf8(const std::string& utf8_path);
std::string Utf8(const std::filesystem::path& path);

// The whole file (empty when it cannot be read), and a whole new file (throws when it cannot be written).
std::vector<uint8_t> ReadBytes(const std::string& utf8_path);
void WriteBytes(const std::string& utf8_path, const std::vector<uint8_t>& bytes);

// A folder of its own under the system's temporary folder, made at construction (owner-only on POSIX, as
// mkdtemp makes it) and removed with everything in it at destruction. Throws when it cannot be made.
class TempFolder {
 public:
  // `prefix` starts the folder's name, so a folder left by a killed test says whose it was.
  explicit TempFolder(const std::string& prefix = "pictavera-test");
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& path() const { return path_; }
  // The folder as UTF-8 text.
  std::string str() const { return Utf8(path_); }
  // The UTF-8 path of `name` (relative, '/'-separated parts allowed) inside the folder.
  std::string File(const std::string& name) const;

 private:
  std::filesystem::path path_;
};

}  // namespace test_support
