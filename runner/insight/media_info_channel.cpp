// The `media_info_channel` channel: its method table and its setup.
#include "runner/insight/media_info_channel.h"

namespace runner::insight {

std::array<MethodEntry, 1> MediaInfoMethodTable(const Services& services) {
  (void)services;
  // The handler, when written, answers success with null for a missing or non-map argument
  // (ArgumentMap(call) == nullptr) before reading any key.
  return {{{"getQuickMeta", MethodHandler()}}};
}

void SetupMediaInfoChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                    const Services& services) {
  InstallChannel(messenger, kMediaInfoChannelName, MediaInfoMethodTable(services), slot);
}

}  // namespace runner::insight
