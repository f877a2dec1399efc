// FileSettingsStore: reading, replacing one line and atomically rewriting the settings file.
#include "platform/posix/file_settings_store.h"

#include "imaging/output/file_status.h"
#include "platform/file_system.h"
#include "platform/posix/file_primitives.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace platform {
namespace {

constexpr size_t kMaxFileBytes = size_t{1} << 20;

// The whole file; a missing file is an empty store. 0 or an errno value.
int ReadStore(const std::string& path, std::string* contents) {
  const int error = ReadWholeFile(path, kMaxFileBytes, contents);
  return error == ENOENT ? 0 : error;
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
  std::optional<std::string> folder = ConfigFolder(xdg_config_home, home);
  if (!folder) return std::nullopt;
  return *folder + "/PictaVera/Printing";
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
  return ChangeSettingLine(contents, name, value);
}

std::string ChangeSettingLine(const std::string& contents, const std::string& name,
                              const std::optional<std::string>& value) {
  std::string out;
  bool placed = !value;  // a removed name is never written again
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
      out.append(name).append("=").append(*value).push_back('\n');
      placed = true;
    }
    start = end + 1;
  }
  if (!placed) out.append(name).append("=").append(*value).push_back('\n');
  return out;
}

std::optional<std::string> FileSettingsStore::Get(const std::string& name) const {
  std::string contents;
  if (ReadStore(path_, &contents) != 0) return std::nullopt;
  return FindSettingValue(contents, name);
}

std::optional<std::map<std::string, std::string>> FileSettingsStore::GetMany(const std::vector<std::string>& names) const {
  std::string contents;
  if (ReadStore(path_, &contents) != 0) return std::nullopt;
  std::map<std::string, std::string> values;
  for (const std::string& name : names) {
    if (std::optional<std::string> value = FindSettingValue(contents, name)) values.emplace(name, std::move(*value));
  }
  return values;
}

base::Status FileSettingsStore::Set(const std::string& name, const std::string& value) {
  return Write({{name, value}});
}

base::Status FileSettingsStore::SetMany(
    const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) {
  return Write(changes);
}

base::Status FileSettingsStore::Write(const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) {
  for (const auto& [name, value] : changes) {
    if (value && value->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      return base::Status::InvalidArgument(path_ + ": " + name + ": a value with a line break or NUL");
    }
  }
  std::lock_guard lock(write_mutex_);
  const size_t slash = path_.rfind('/');
  if (slash == std::string::npos || slash == 0) return base::Status::Unavailable(path_ + ": no folder to keep it in");
  const std::string folder = path_.substr(0, slash);
  if (const int error = MakeFolders(folder); error != 0) {
    return base::Status::Unavailable(imaging::FileStatus(error, folder).message()).WithSystemError(error);
  }
  const std::string target = FollowLinks(path_);

  // An existing file that cannot be read is not replaced: its other lines would be lost.
  std::string contents;
  if (const int error = ReadStore(target, &contents); error != 0) {
    // The primitive's EINVAL is its refusal of what is not a regular file.
    if (error == EINVAL) return base::Status::AccessDenied(target + ": not a regular file");
    if (error != EFBIG || oversized_ != Oversized::kReplaceOversized) return imaging::FileStatus(error, target);
    contents.clear();
  }
  for (const auto& [name, value] : changes) contents = ChangeSettingLine(contents, name, value);

  bool started = false;
  if (const int error = ReplaceFileAtomically(target, contents.data(), contents.size(), 0600, &started); error != 0) {
    const base::Status failed = imaging::FileStatus(error, target);
    return started ? failed : base::Status::Unavailable(failed.message());
  }
  return base::Status::Ok();
}

}  // namespace platform
