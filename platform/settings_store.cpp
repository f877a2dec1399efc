// SettingsStore: the several-values calls built on Get and Set, for stores that cannot do better.
#include "platform/settings_store.h"

namespace platform {

std::optional<std::map<std::string, std::string>> SettingsStore::GetMany(const std::vector<std::string>& names) const {
  std::map<std::string, std::string> values;
  for (const std::string& name : names) {
    if (std::optional<std::string> value = Get(name)) values.emplace(name, std::move(*value));
  }
  return values;
}

base::Status SettingsStore::SetMany(const std::vector<std::pair<std::string, std::optional<std::string>>>& changes) {
  for (const auto& [name, value] : changes) {
    if (value && value->find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
      return base::Status::InvalidArgument(name + ": a value with a line break or NUL");
    }
  }
  for (const auto& [name, value] : changes) {
    if (base::Status stored = Set(name, value.value_or("")); !stored.ok()) return stored;
  }
  return base::Status::Ok();
}

}  // namespace platform
