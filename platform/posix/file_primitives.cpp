// File primitives over open(2), read(2), write(2), mkdir(2) and the password database.
#include "platform/posix/file_primitives.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string_view>

#include "base/temporary_names.h"
#include "imaging/output/pending_output.h"
#include "platform/file_system.h"
#include "platform/posix/posix_file_calls.h"

namespace platform {
namespace {

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

// `truncate`: a file longer than `max_bytes` gives its first `max_bytes` bytes instead of EFBIG.
template <typename Bytes>
int ReadWhole(const std::string& path, size_t max_bytes, bool truncate, Bytes* out) {
  out->clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return errno;
  int error = 0;
  struct stat info {};
  if (::fstat(fd, &info) != 0) {
    error = errno;
  } else if (!S_ISREG(info.st_mode)) {
    error = EINVAL;
  } else if (!truncate && static_cast<uint64_t>(info.st_size) > max_bytes) {
    error = EFBIG;
  } else {
    // The stated size is a hint: the file may grow or shrink while it is read.
    out->reserve(std::min(static_cast<size_t>(info.st_size), max_bytes));
    char chunk[65536];
    for (;;) {
      const size_t want = truncate ? std::min(sizeof chunk, max_bytes - out->size()) : sizeof chunk;
      if (want == 0) break;
      const ssize_t got = ::read(fd, chunk, want);
      if (got < 0) {
        if (errno == EINTR) continue;
        error = errno;
        break;
      }
      if (got == 0) break;
      if (static_cast<size_t>(got) > max_bytes - out->size()) {
        error = EFBIG;
        break;
      }
      out->insert(out->end(), chunk, chunk + got);
    }
  }
  ::close(fd);
  if (error != 0) out->clear();
  return error;
}

}  // namespace

int ReadWholeFile(const std::string& path, size_t max_bytes, std::string* out) {
  return ReadWhole(path, max_bytes, false, out);
}

int ReadWholeFile(const std::string& path, size_t max_bytes, std::vector<uint8_t>* out) {
  return ReadWhole(path, max_bytes, false, out);
}

int ReadFileStart(const std::string& path, size_t max_bytes, std::string* out) {
  return ReadWhole(path, max_bytes, true, out);
}

int ReadFileStart(const std::string& path, size_t max_bytes, std::vector<uint8_t>* out) {
  return ReadWhole(path, max_bytes, true, out);
}

int WriteAll(int fd, const void* bytes, size_t size) {
  const auto* next = static_cast<const uint8_t*>(bytes);
  while (size > 0) {
    const ssize_t written = ::write(fd, next, size);
    if (written < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (written == 0) return EIO;
    next += written;
    size -= static_cast<size_t>(written);
  }
  return 0;
}

int ReplaceFileAtomically(const std::string& path, const void* bytes, size_t size, uint32_t mode, bool* started) {
  if (started != nullptr) *started = false;
  if (path.empty() || path.back() == '/') return ENOENT;
  int error = 0;
  PosixFileCalls calls;
  std::unique_ptr<imaging::PendingOutput> file =
      imaging::PendingOutput::Start(calls, FolderOfPath(path), base::kHostTemporaryPrefix, mode, &error);
  if (!file) return error != 0 ? error : EIO;
  if (started != nullptr) *started = true;
  if ((error = file->Write(static_cast<const uint8_t*>(bytes), size)) != 0) return error;
  return file->Publish(path, imaging::PublishMode::kReplace);  // the temporary file goes with `file` unless published
}

int MakeFolders(const std::string& folder, uint32_t mode) {
  if (folder.empty()) return ENOENT;
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (!part.empty() && part.back() != '/' && ::mkdir(part.c_str(), mode) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

std::optional<std::string> HomeFolder(const char* home) {
  if (IsAbsolute(home)) return std::string(home);
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) {
    return std::nullopt;
  }
  if (!IsAbsolute(found->pw_dir)) return std::nullopt;
  return std::string(found->pw_dir);
}

std::optional<std::string> ConfigFolder(const char* xdg_config_home, const char* home) {
  if (IsAbsolute(xdg_config_home)) return std::string(xdg_config_home);
  std::optional<std::string> folder = HomeFolder(home);
  if (folder) *folder += "/.config";
  return folder;
}

std::optional<std::string> CacheFolder(const char* xdg_cache_home, const char* home) {
  if (IsAbsolute(xdg_cache_home)) return std::string(xdg_cache_home);
  std::optional<std::string> folder = HomeFolder(home);
  if (folder) *folder += "/.cache";
  return folder;
}

std::optional<std::string> DocumentsFolder(const char* xdg_documents_dir, const char* xdg_config_home,
                                           const char* home) {
  if (IsAbsolute(xdg_documents_dir)) return std::string(xdg_documents_dir);
  const std::optional<std::string> home_folder = HomeFolder(home);
  std::optional<std::string> documents;
  std::string dirs;
  if (const std::optional<std::string> config = ConfigFolder(xdg_config_home, home)) {
    ReadFileStart(*config + "/user-dirs.dirs", size_t{64} << 10, &dirs);
  }
  constexpr std::string_view kKey = "XDG_DOCUMENTS_DIR=\"";
  for (size_t start = 0; start < dirs.size();) {
    size_t end = dirs.find('\n', start);
    if (end == std::string::npos) end = dirs.size();
    const std::string_view line(dirs.data() + start, end - start);
    start = end + 1;
    if (line.substr(0, kKey.size()) != kKey) continue;
    const size_t quote = line.find('"', kKey.size());
    if (quote == std::string_view::npos) continue;
    std::string value(line.substr(kKey.size(), quote - kKey.size()));
    if (value.compare(0, 5, "$HOME") == 0) value = home_folder.value_or("") + value.substr(5);
    if (!value.empty() && value[0] == '/') documents = value;
  }
  if (documents) return documents;
  if (!home_folder) return std::nullopt;
  return *home_folder + "/Documents";
}

std::optional<std::string> HomeFolder() { return HomeFolder(std::getenv("HOME")); }
std::optional<std::string> ConfigFolder() { return ConfigFolder(std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME")); }
std::optional<std::string> CacheFolder() { return CacheFolder(std::getenv("XDG_CACHE_HOME"), std::getenv("HOME")); }
std::optional<std::string> DocumentsFolder() {
  return DocumentsFolder(std::getenv("XDG_DOCUMENTS_DIR"), std::getenv("XDG_CONFIG_HOME"), std::getenv("HOME"));
}

}  // namespace platform
