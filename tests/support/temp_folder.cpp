// Temporary folders and whole files for tests.
#include "tests/support/temp_folder.h"

#include <atomic>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <system_error>

namespace test_support {

std::filesystem::path PathFromUtf8(const std::string& utf8_path) {
  return std::filesystem::path(std::u8string(utf8_path.begin(), utf8_path.end()));
}

std::string Utf8(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::vector<uint8_t> ReadBytes(const std::string& utf8_path) {
  std::ifstream in(PathFromUtf8(utf8_path), std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& utf8_path, const std::vector<uint8_t>& bytes) {
  std::ofstream out(PathFromUtf8(utf8_path), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + utf8_path);
}

TempFolder::TempFolder(const std::string& prefix) {
  static std::atomic<unsigned> counter{0};
  std::random_device random;
  const std::filesystem::path base = std::filesystem::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        base / (prefix + "-" + std::to_string(random()) + "-" + std::to_string(counter++));
    std::error_code error;
    if (!std::filesystem::create_directory(candidate, error)) continue;  // taken, or a failure: another name
    std::filesystem::permissions(candidate, std::filesystem::perms::owner_all, error);
    path_ = candidate;
    return;
  }
  throw std::runtime_error("cannot make a temporary folder in " + Utf8(base));
}

namespace {

// Gives the owner back every right on `folder` and the folders inside it (tests take some away), top
// down, so that everything can be removed.
void RestoreOwnerRights(const std::filesystem::path& folder) {
  std::error_code ignored;
  std::filesystem::permissions(folder, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  for (std::filesystem::directory_iterator entry(folder, ignored), end; !ignored && entry != end;
       entry.increment(ignored)) {
    if (entry->is_directory(ignored) && !entry->is_symlink(ignored)) RestoreOwnerRights(entry->path());
  }
}

}  // namespace

TempFolder::~TempFolder() {
  std::error_code ignored;
  if (std::filesystem::remove_all(path_, ignored) != static_cast<std::uintmax_t>(-1) && !ignored) return;
  RestoreOwnerRights(path_);
  std::filesystem::remove_all(path_, ignored);
}

std::string TempFolder::File(const std::string& name) const { return Utf8(path_ / PathFromUtf8(name)); }

}  // namespace test_support
