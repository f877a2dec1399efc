// The `media_info_channel` channel ("getQuickMeta"): its method table and its setup.
#pragma once

#include <array>
#include <memory>

#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner::insight {

inline constexpr std::string_view kMediaInfoChannelName = "media_info_channel";

// One entry, "getQuickMeta": a map with "path" (a string). Answers from a worker of the metadata lane
// (services.lanes, when given; else where it is called), from the file's header only, with a map of "width" and "height" (int32, upright) and, when a capture time after
// 1970 is stored, "capturedAtMillis" (int64); see quick_meta.h. The channel never sends an error
// envelope: a missing or non-map argument, a missing, non-string or empty path, or a file that is not a
// readable JPEG or PNG answers success with null.
std::array<MethodEntry, 1> MediaInfoMethodTable(const Services& services);

// Creates `media_info_channel` on `messenger` with the standard method codec, installs its dispatcher
// and stores it in `slot` (the previous channel is destroyed after the new one is installed).
// Call on the platform thread; `messenger` must outlive the channel.
void SetupMediaInfoChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                    const Services& services);

}  // namespace runner::insight
