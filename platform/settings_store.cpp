// SettingsStore: the several-values calls built on Get and Set, for stores that cannot do better.
#include "platform/settings_store.h"

#include <cerrno>

namespace platform {

std::optional<std::map<std::string, std::string>> SettingsStore::GetMany(const std::vector<std::string>& names) const {
  std::map<std::string, std::string> values;
  for (const std::string& name : names) {
    if (std::optional<std::string> value = Get(name)) values.emplace(name, std::move(*value));
  }
  return values;
}

int SettingsStore::SetMany(const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) {
  for (const auto& [name, value] : changes) {
    if (value && value->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) return EINVAL;
  }
  for (const auto& [name, value] : changes) {
    switch (Set(name, value.value_or(""))) {
      case SettingsWriteStatus::kOk: break;
      case SettingsWriteStatus::kCannotCreateStore: return EACCES;
      case SettingsWriteStatus::kCannotWriteValue: return EIO;
    }
  }
  return 0;
}

}  // namespace platform
