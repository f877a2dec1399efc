// The `thumbnail_channel` channel ("getThumbnail"): its method table and its setup.
#pragma once

#include <array>
#include <memory>

#include "runner/channels/channel.h"
#include "runner/services.h"

namespace runner::insight {

inline constexpr std::string_view kThumbnailChannelName = "thumbnail_channel";

// One entry, "getThumbnail": a map with "path" (string), "width" and "height" (int32; any other kind
// counts as 0) and "scale" (number, 1.0 when absent or of another kind). Answers from a worker of the
// preview lane (services.lanes, when given; else where it is called) with the bytes of an RGBA PNG preview (thumbnail.h). The channel never sends an error envelope: a
// missing or non-map argument, an empty path, a width or height not above 0, or any failure answers
// success with null.
std::array<MethodEntry, 1> ThumbnailMethodTable(const Services& services);

// Creates `thumbnail_channel` on `messenger` with the standard method codec, installs its dispatcher and
// stores it in `slot` (the previous channel is destroyed after the new one is installed).
// Call on the platform thread; `messenger` must outlive the channel.
void SetupThumbnailChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                    const Services& services);

}  // namespace runner::insight
