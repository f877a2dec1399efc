// The channel layer's shared pieces: exact-name dispatch and channel installation.
#include "runner/channel.h"

#include <string>
#include <utility>
#include <vector>

#include "flutter/standard_method_codec.h"

namespace runner {

const MethodEntry* FindMethod(std::span<const MethodEntry> table, std::string_view method_name) {
  for (const MethodEntry& entry : table) {
    if (entry.name == method_name) return &entry;  // equal length and equal bytes
  }
  return nullptr;
}

void DispatchMethodCall(std::span<const MethodEntry> table, const MethodCall& call,
                        std::unique_ptr<MethodResult> result) {
  const MethodEntry* entry = FindMethod(table, call.method_name());
  if (entry == nullptr || !entry->handler) {
    result->NotImplemented();
    return;
  }
  entry->handler(call, std::move(result));
}

void InstallChannel(flutter::BinaryMessenger* messenger, std::string_view name,
                    std::span<const MethodEntry> table, std::unique_ptr<Channel>& slot) {
  auto channel = std::make_unique<Channel>(messenger, std::string(name),
                                           &flutter::StandardMethodCodec::GetInstance());
  MethodHandler dispatch = [table = std::vector<MethodEntry>(table.begin(), table.end())](
                               const MethodCall& call, std::unique_ptr<MethodResult> result) {
    DispatchMethodCall(table, call, std::move(result));
  };
  channel->SetMethodCallHandler(dispatch);

  std::unique_ptr<Channel> previous = std::exchange(slot, std::move(channel));
  if (previous) {
    // The old channel shares the name with the new one. Whether destroying it clears the messenger's
    // registration for that name is the wrapper's business; registering again afterwards keeps the new
    // handler in place either way.
    previous.reset();
    slot->SetMethodCallHandler(std::move(dispatch));
  }
}

}  // namespace runner
