// The `thumbnail_channel` channel: its method table and its setup.
#include "runner/insight/thumbnail_channel.h"

namespace runner::insight {

std::array<MethodEntry, 1> ThumbnailMethodTable(const Services& services) {
  (void)services;
  // The handler, when written, answers success with null for a missing or non-map argument
  // (ArgumentMap(call) == nullptr) before reading any key.
  return {{{"getThumbnail", MethodHandler()}}};
}

void SetupThumbnailChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                    const Services& services) {
  InstallChannel(messenger, kThumbnailChannelName, ThumbnailMethodTable(services), slot);
}

}  // namespace runner::insight
