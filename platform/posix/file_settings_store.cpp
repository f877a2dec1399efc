// FileSettingsStore: reading, replacing one line and atomically rewriting the settings file.
#include "platform/posix/file_settings_store.h"

#include "platform/posix/posix_pending_file.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace platform {
namespace {

constexpr size_t kMaxFileBytes = size_t{1} << 20;

bool IsAbsolute(const char* path) { return path != nullptr && path[0] == '/'; }

std::string HomeFromPasswordDatabase() {
  long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || found == nullptr) return {};
  return IsAbsolute(found->pw_dir) ? std::string(found->pw_dir) : std::string();
}

// Reads the whole file. ENOENT leaves `*contents` empty and counts as success (nothing stored yet).
// Returns an errno value.
int ReadWhole(const std::string& path, std::string* contents) {
  contents->clear();
  // Non-blocking, so a FIFO put in its place cannot hang the reader; a regular file reads the same.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return errno == ENOENT ? 0 : errno;
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return EINVAL;
  }
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(fd, chunk, sizeof chunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return error;
    }
    if (got == 0) break;
    contents->append(chunk, static_cast<size_t>(got));
    if (contents->size() > kMaxFileBytes) {
      ::close(fd);
      return EFBIG;
    }
  }
  ::close(fd);
  return 0;
}

// Creates every missing folder of `folder` with mode 0700. Returns an errno value.
int MakeFolders(const std::string& folder) {
  for (size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    const std::string part = folder.substr(0, slash);
    if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) break;
  }
  struct stat info {};
  if (::stat(folder.c_str(), &info) != 0) return errno;
  return S_ISDIR(info.st_mode) ? 0 : ENOTDIR;
}

// `path` with every symbolic link at its end followed (at most 40, as the system does): a settings
// file kept elsewhere and linked into place is updated where it lives, and the link stays.
std::string FollowLinks(const std::string& path) {
  std::string current = path;
  for (int hop = 0; hop < 40; ++hop) {
    std::vector<char> target(4096);
    const ssize_t length = ::readlink(current.c_str(), target.data(), target.size());
    if (length <= 0 || static_cast<size_t>(length) >= target.size()) return current;
    std::string next(target.data(), static_cast<size_t>(length));
    if (next.front() != '/') next = FolderOfPath(current) + "/" + next;
    current = next;
  }
  return current;
}

}  // namespace

std::optional<std::string> PrintingSettingsPath(const char* xdg_config_home, const char* home) {
  if (IsAbsolute(xdg_config_home)) return std::string(xdg_config_home) + "/PictaVera/Printing";
  std::string home_folder = IsAbsolute(home) ? std::string(home) : HomeFromPasswordDatabase();
  if (home_folder.empty()) return std::nullopt;
  return home_folder + "/.config/PictaVera/Printing";
}

std::optional<std::string> FindSettingValue(const std::string& contents, const std::string& name) {
  std::optional<std::string> value;
  size_t start = 0;
  while (start < contents.size()) {
    size_t end = contents.find('\n', start);
    if (end == std::string::npos) end = contents.size();
    std::string_view line(contents.data() + start, end - start);
    if (line.size() > name.size() && line.substr(0, name.size()) == name && line[name.size()] == '=') {
      line.remove_prefix(name.size() + 1);
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      value = std::string(line);
    }
    start = end + 1;
  }
  return value;
}

std::string ReplaceSettingLine(const std::string& contents, const std::string& name, const std::string& value) {
  const std::string new_line = name + "=" + value;
  std::string out;
  bool placed = false;
  size_t start = 0;
  while (start < contents.size()) {
    size_t end = contents.find('\n', start);
    if (end == std::string::npos) end = contents.size();
    const std::string_view line(contents.data() + start, end - start);
    const bool ours = line.size() > name.size() && line.substr(0, name.size()) == name && line[name.size()] == '=';
    if (!ours) {
      out.append(line);
      out.push_back('\n');
    } else if (!placed) {
      out.append(new_line);
      out.push_back('\n');
      placed = true;
    }
    start = end + 1;
  }
  if (!placed) out.append(new_line).push_back('\n');
  return out;
}

std::optional<std::string> FileSettingsStore::Get(const std::string& name) const {
  std::string contents;
  if (ReadWhole(path_, &contents) != 0) return std::nullopt;
  return FindSettingValue(contents, name);
}

SettingsWriteStatus FileSettingsStore::Set(const std::string& name, const std::string& value) {
  if (value.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return SettingsWriteStatus::kCannotWriteValue;
  std::lock_guard lock(write_mutex_);
  const size_t slash = path_.rfind('/');
  if (slash == std::string::npos || slash == 0) return SettingsWriteStatus::kCannotCreateStore;
  if (MakeFolders(path_.substr(0, slash)) != 0) return SettingsWriteStatus::kCannotCreateStore;
  const std::string target = FollowLinks(path_);

  // An existing file that cannot be read is not replaced: its other lines would be lost.
  std::string contents;
  if (ReadWhole(target, &contents) != 0) return SettingsWriteStatus::kCannotWriteValue;
  const std::string replaced = ReplaceSettingLine(contents, name, value);

  int error = 0;
  std::unique_ptr<PosixPendingFile> file =
      PosixPendingFile::Start(FolderOfPath(target), 0600, SystemNoReplaceCalls(), &error);
  if (!file) return SettingsWriteStatus::kCannotCreateStore;
  if (file->Write(reinterpret_cast<const uint8_t*>(replaced.data()), replaced.size()) != 0 ||
      file->Publish(target, PublishMode::kReplace) != 0) {
    return SettingsWriteStatus::kCannotWriteValue;
  }
  return SettingsWriteStatus::kOk;
}

}  // namespace platform
