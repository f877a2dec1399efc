// SettingsStore: small named text values kept per user across runs (the colour-profile choice).
//
// A value is any byte string without CR, LF or NUL; names are fixed by their callers (letters only).
// The store keeps other names it does not know untouched. Lengths and defaults are the callers' rules:
// the store hands back exactly what it holds.
// Thread safety: every method may be called from any thread; two writers of one store at once each leave
// a whole file (the last rename wins), never a mixed one.
#pragma once

#include <optional>
#include <string>

namespace platform {

enum class SettingsWriteStatus {
  kOk,
  kCannotCreateStore,  // the store's folder or a new file in it cannot be made
  kCannotWriteValue,   // the value is refused (CR, LF or NUL in it) or cannot be written or put in place
};

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The value stored under `name` (the empty string when it is stored empty), or nothing when the
  // store, the name or its value cannot be read.
  virtual std::optional<std::string> Get(const std::string& name) const = 0;

  // Stores `value` under `name`, replacing any earlier value and keeping every other name.
  virtual SettingsWriteStatus Set(const std::string& name, const std::string& value) = 0;
};

}  // namespace platform
