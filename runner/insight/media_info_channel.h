// The `media_info_channel` channel ("getQuickMeta"): its method table and its setup.
#pragma once

#include <array>
#include <memory>

#include "runner/channel.h"
#include "runner/services.h"

namespace runner::insight {

inline constexpr std::string_view kMediaInfoChannelName = "media_info_channel";

// One entry, "getQuickMeta". The channel never sends an error envelope: a missing or non-map argument
// is answered with success and null once the handler exists; until then the method answers
// not-implemented.
std::array<MethodEntry, 1> MediaInfoMethodTable(const Services& services);

// Creates `media_info_channel` on `messenger` with the standard method codec, installs its dispatcher
// and stores it in `slot` (the previous channel is destroyed after the new one is installed).
// Call on the platform thread; `messenger` must outlive the channel.
void SetupMediaInfoChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                    const Services& services);

}  // namespace runner::insight
