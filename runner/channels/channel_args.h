// Reading channel arguments: the reading forms, key lookup with its three outcomes, and a reader that
// keeps the first failure.
//
// A handler names each key with a form; the form says which value kinds it accepts and what it takes:
//   kString        string                the text
//   kBool          bool                  the flag
//   kBoolOrInt32   bool, int32           the flag; an int32 is true when not 0
//   kInt32         int32                 the integer
//   kInt32OrDouble int32, double         an int32 as is; a double truncated toward zero
//   kDouble        double                the number (an int32 is refused)
//   kNumber        double, int32         a double as is; an int32 converted exactly
//   kByteList      byte list             the bytes (a pointer into the arguments)
//   kList          list                  the elements (a pointer into the arguments)
//   kMap           map                   the record (a pointer into the arguments)
// Any other kind is the wrong kind; an int64 is the wrong kind in every form. A double that is NaN or
// whose truncation does not fit int32 is also the wrong kind for kInt32OrDouble: a value that cannot be
// represented is treated like a value the form does not accept.
//
// Pointers taken by kByteList, kList and kMap point into the call's arguments: valid while the call is
// (copy what work on another thread needs). All functions here are pure and thread-compatible.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "flutter/encodable_value.h"
#include "runner/channels/channel.h"
#include "runner/channels/channel_errors.h"

namespace runner {

struct StringForm {
  using Value = std::string;
  static std::optional<Value> Take(const EncodableValue& value);
};
struct BoolForm {
  using Value = bool;
  static std::optional<Value> Take(const EncodableValue& value);
};
struct BoolOrInt32Form {
  using Value = bool;
  static std::optional<Value> Take(const EncodableValue& value);
};
struct Int32Form {
  using Value = int32_t;
  static std::optional<Value> Take(const EncodableValue& value);
};
struct Int32OrDoubleForm {
  using Value = int32_t;
  static std::optional<Value> Take(const EncodableValue& value);
};
struct DoubleForm {
  using Value = double;
  static std::optional<Value> Take(const EncodableValue& value);
};
struct NumberForm {
  using Value = double;
  static std::optional<Value> Take(const EncodableValue& value);
};
struct ByteListForm {
  using Value = const std::vector<uint8_t>*;
  static std::optional<Value> Take(const EncodableValue& value);
};
struct ListForm {
  using Value = const EncodableList*;
  static std::optional<Value> Take(const EncodableValue& value);
};
struct MapForm {
  using Value = const EncodableMap*;
  static std::optional<Value> Take(const EncodableValue& value);
};

inline constexpr StringForm kString{};
inline constexpr BoolForm kBool{};
inline constexpr BoolOrInt32Form kBoolOrInt32{};
inline constexpr Int32Form kInt32{};
inline constexpr Int32OrDoubleForm kInt32OrDouble{};
inline constexpr DoubleForm kDouble{};
inline constexpr NumberForm kNumber{};
inline constexpr ByteListForm kByteList{};
inline constexpr ListForm kList{};
inline constexpr MapForm kMap{};

// Bare-value reading (the argument value itself, or a list element). `value` may be null (a call without
// arguments). Returns the taken value, or nullopt when the value is missing or of the wrong kind.
template <class Form>
std::optional<typename Form::Value> Read(const EncodableValue* value, Form /*form*/) {
  if (value == nullptr) return std::nullopt;
  return Form::Take(*value);
}

// The elements of `list` that `form` accepts, in order; elements of any other kind are skipped.
template <class Form>
std::vector<typename Form::Value> ReadElements(const EncodableList& list, Form form) {
  std::vector<typename Form::Value> taken;
  taken.reserve(list.size());
  for (const EncodableValue& element : list) {
    if (std::optional<typename Form::Value> value = Read(&element, form)) taken.push_back(std::move(*value));
  }
  return taken;
}

// The argument value as a map, or null when it is missing or of another kind.
const EncodableMap* ArgumentMap(const MethodCall& call);

enum class LookupOutcome { kAbsent, kAccepted, kWrongKind };

template <class T>
struct KeyLookup {
  LookupOutcome outcome = LookupOutcome::kAbsent;
  std::optional<T> value;  // set exactly when outcome is kAccepted
};

// Looks `key` up by its exact string and reads it in `form`.
const EncodableValue* FindKey(const EncodableMap& map, std::string_view key);

template <class Form>
KeyLookup<typename Form::Value> LookUp(const EncodableMap& map, std::string_view key, Form form) {
  const EncodableValue* found = FindKey(map, key);
  if (found == nullptr) return {};
  std::optional<typename Form::Value> taken = Read(found, form);
  if (!taken) return {LookupOutcome::kWrongKind, std::nullopt};
  return {LookupOutcome::kAccepted, std::move(taken)};
}

// Reads the keys of one argument map in the handler's order and keeps the first failure: once a read
// has failed, later reads return nullopt (or their fallback) and record nothing. The handler reads all
// its keys, then answers the failure if there is one:
//
//   ArgReader args(*map);
//   auto rows = args.Required("rows", kInt32, kMissingRequiredParameters);
//   bool cut_lines = args.Or("cutLines", kBoolOrInt32, false);
//   if (args.AnswerIfFailed(*result)) return;
//
// Not thread-safe; the map must outlive the reader.
class ArgReader {
 public:
  explicit ArgReader(const EncodableMap& map) : map_(map) {}

  // Absent: fails with `if_missing`. Wrong kind: fails with InvalidTypeForKey(key).
  template <class Form>
  std::optional<typename Form::Value> Required(std::string_view key, Form form, const ChannelError& if_missing) {
    return Required(key, form, if_missing, InvalidTypeForKey(key));
  }

  // Absent: fails with `if_missing`. Wrong kind: fails with `if_wrong_kind`.
  template <class Form>
  std::optional<typename Form::Value> Required(std::string_view key, Form form, const ChannelError& if_missing,
                                               const ChannelError& if_wrong_kind) {
    if (failure_) return std::nullopt;
    KeyLookup<typename Form::Value> found = LookUp(map_, key, form);
    if (found.outcome == LookupOutcome::kAbsent) Fail(if_missing);
    if (found.outcome == LookupOutcome::kWrongKind) Fail(if_wrong_kind);
    return std::move(found.value);
  }

  // Absent: nullopt without failing. Wrong kind: fails with InvalidTypeForKey(key).
  template <class Form>
  std::optional<typename Form::Value> Optional(std::string_view key, Form form) {
    if (failure_) return std::nullopt;
    KeyLookup<typename Form::Value> found = LookUp(map_, key, form);
    if (found.outcome == LookupOutcome::kWrongKind) Fail(InvalidTypeForKey(key));
    return std::move(found.value);
  }

  // Absent or wrong kind: `fallback`. Never fails.
  template <class Form>
  typename Form::Value Or(std::string_view key, Form form, typename Form::Value fallback) {
    if (failure_) return fallback;
    KeyLookup<typename Form::Value> found = LookUp(map_, key, form);
    return found.value ? std::move(*found.value) : std::move(fallback);
  }

  bool ok() const { return !failure_.has_value(); }
  const std::optional<ChannelError>& failure() const { return failure_; }

  // When a read has failed, answers `result` with that failure (null details) and returns true;
  // otherwise leaves `result` alone and returns false.
  bool AnswerIfFailed(MethodResult& result) const;

 private:
  void Fail(const ChannelError& error) {
    if (!failure_) failure_ = error;
  }

  const EncodableMap& map_;
  std::optional<ChannelError> failure_;
};

}  // namespace runner
