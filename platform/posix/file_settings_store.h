// FileSettingsStore: the SettingsStore as one small text file per user, `name=value` per line.
#pragma once

#include <mutex>
#include <optional>
#include <string>

#include "platform/settings_store.h"

namespace platform {

// The printing settings file: ${XDG_CONFIG_HOME}/PictaVera/Printing when XDG_CONFIG_HOME is an absolute
// path, else ${HOME}/.config/PictaVera/Printing (HOME from the password database when unset or not
// absolute: platform/posix/file_primitives.h). Nothing when no home folder can be found.
std::optional<std::string> PrintingSettingsPath(const char* xdg_config_home, const char* home);

// The lines of a settings file with `name`'s value replaced (or appended when absent); every other line
// kept as it was, in order. Later duplicates of `name` are dropped. Pure.
std::string ReplaceSettingLine(const std::string& contents, const std::string& name, const std::string& value);
// The same, where nothing for `value` removes every `name` line. Pure.
std::string ChangeSettingLine(const std::string& contents, const std::string& name,
                              const std::optional<std::string>& value);

// The value of the last `name=` line of `contents` (text after the first '=' to the line end, a final CR
// dropped), or nothing. Pure.
std::optional<std::string> FindSettingValue(const std::string& contents, const std::string& name);

// Reads the whole file on every Get or GetMany (so a change by another process is seen) and writes it
// by the FileSystem's one rule (ReplaceFileAtomically: a new file beside it, flushed, renamed over it).
// A link at the settings path is followed for writing: the file it points to is replaced and the link
// stays. The folders above it are created with mode 0700 and the file is 0600. Files larger than 1 MiB are not read
// (Get gives nothing, Set refuses with kTooLarge rather than drop their other lines). A folder that
// cannot be made or that takes no new file is kUnavailable; the system's other errors become kinds by
// imaging/output/file_status.h.
// Thread safety: as SettingsStore; writes within one process are serialised.
class FileSettingsStore : public SettingsStore {
 public:
  enum class Oversized { kKeep, kReplaceOversized };
  explicit FileSettingsStore(std::string path, Oversized oversized = Oversized::kKeep)
      : path_(std::move(path)), oversized_(oversized) {}

  std::optional<std::string> Get(const std::string& name) const override;
  base::Status Set(const std::string& name, const std::string& value) override;
  // One read, and one write for all the changes.
  std::optional<std::map<std::string, std::string>> GetMany(const std::vector<std::string>& names) const override;
  base::Status SetMany(const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) override;

  const std::string& path() const { return path_; }

 private:
  base::Status Write(const std::vector<std::pair<std::string, std::optional<std::string>>>& changes);

  std::string path_;
  Oversized oversized_;
  std::mutex write_mutex_;
};

}  // namespace platform
