// SettingsStore: small named text values kept per user across runs (the colour-profile choice, the
// built-in PDF printer's state).
//
// A value is any byte string without CR, LF or NUL; names are fixed by their callers (letters only).
// The store keeps other names it does not know untouched. Lengths and defaults are the callers' rules:
// the store hands back exactly what it holds.
// A failed write is a base::Status of one of these kinds, its message naming the store and the reason:
//   kUnavailable      the store itself cannot be made or opened (its folder, a new file in it, its key)
//   kInvalidArgument  a value with CR, LF or NUL, or a name or value the store has no form for
//   any other kind    the value could not be written or put in place (kIoError for a full disk,
//                     kTooLarge or kCorrupt for an existing store that cannot be read whole)
// Thread safety: every method may be called from any thread; two writers of one store at once each leave
// a whole file (the last rename wins), never a mixed one.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/status.h"

namespace platform {

class SettingsStore {
 public:
  virtual ~SettingsStore() = default;

  // The value stored under `name` (the empty string when it is stored empty), or nothing when the
  // store, the name or its value cannot be read.
  virtual std::optional<std::string> Get(const std::string& name) const = 0;

  // Stores `value` under `name`, replacing any earlier value and keeping every other name. Ok, or the
  // failure by the kinds above.
  virtual base::Status Set(const std::string& name, const std::string& value) = 0;

  // The stored values of `names` in one read (names not stored are absent from the map); nothing when
  // the store cannot be read. A store that does not exist yet is empty.
  // The default asks Get for each name; an adapter that can read once overrides it.
  virtual std::optional<std::map<std::string, std::string>> GetMany(const std::vector<std::string>& names) const;

  // Several changes in one write: each name set to its value, or removed when the value is nothing;
  // every other name kept. Ok, or the failure by the kinds above (kInvalidArgument: a value with CR, LF
  // or NUL, and then nothing is written). On failure the store keeps what it held.
  // The default calls Set for each (a removed name is stored empty), so a failure part-way may leave
  // the earlier changes; an adapter that can write once overrides it.
  virtual base::Status SetMany(const std::vector<std::pair<std::string, std::optional<std::string>>>& changes);
};

}  // namespace platform
