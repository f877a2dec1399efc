// The channel layer's shared pieces: the channel type, method tables and dispatch on the exact method name.
#pragma once

#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "flutter/binary_messenger.h"
#include "flutter/encodable_value.h"
#include "flutter/method_channel.h"
#include "flutter/method_result.h"

namespace runner {

using flutter::EncodableList;
using flutter::EncodableMap;
using flutter::EncodableValue;

using Channel = flutter::MethodChannel<flutter::EncodableValue>;
using MethodCall = flutter::MethodCall<flutter::EncodableValue>;
using MethodResult = flutter::MethodResult<flutter::EncodableValue>;

// A method's handler. It receives the call and the sole owning pointer to the call's result; it answers
// before returning or moves the pointer into the work that answers later. Every path answers exactly once.
using MethodHandler = std::function<void(const MethodCall& call, std::unique_ptr<MethodResult> result)>;

// One row of a channel's method table. An empty `handler` means the method is known by name but its
// handler has not been written yet: the call is answered with not-implemented.
struct MethodEntry {
  std::string_view name;
  MethodHandler handler;
};

// Finds the first entry whose name equals `method_name` byte for byte over its whole length (so a prefix
// or a name differing only in letter case does not match). Returns nullptr when none matches.
const MethodEntry* FindMethod(std::span<const MethodEntry> table, std::string_view method_name);

// How a channel answers a call whose arguments cannot be read at all (text that is not UTF-8,
// runner/channels/channel_text.h), told where the fault is. Null: success with null, the answer of the
// channels that send no error envelopes.
using MalformedAnswer = std::function<void(const std::string& where, MethodResult& result)>;

// Routes `call` to its table entry's handler, handing over `result`. Unknown names and entries without a
// handler are answered with not-implemented; nothing is logged for them. A call whose arguments hold text
// that is not UTF-8 is answered by `malformed` instead of its handler. Answers exactly once.
// Safety nets: an exception that escapes the handler before the call was answered is answered with error
// "UNHANDLED_EXCEPTION" whose message is the exception's text (after one "ERROR: " line); handlers still
// catch what their operation expects and answer as it says. Text in the answer that is not UTF-8 is
// mended (channel_text.h).
void DispatchMethodCall(std::span<const MethodEntry> table, const MethodCall& call,
                        std::unique_ptr<MethodResult> result, const MalformedAnswer& malformed = nullptr);

// Creates the channel `name` on `messenger` with the standard method codec, installs a handler that
// dispatches over `table` (the handler keeps its own copy of the table) answering unreadable calls with
// `malformed`, and stores the channel in `slot`. A channel already in the slot is destroyed only after the new one is installed, and the new
// handler stays registered under `name` whatever the old channel's destruction does.
// Call on the platform thread. `messenger` must outlive the channel.
void InstallChannel(flutter::BinaryMessenger* messenger, std::string_view name,
                    std::span<const MethodEntry> table, std::unique_ptr<Channel>& slot,
                    MalformedAnswer malformed = nullptr);

}  // namespace runner
