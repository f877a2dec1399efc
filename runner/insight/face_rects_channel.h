// The `face_rects_channel` channel ("detectFacesWindows"): its method table and its setup.
#pragma once

#include <array>
#include <memory>

#include "runner/channel.h"
#include "runner/services.h"
#include "runner/window_messages.h"

namespace runner::insight {

inline constexpr std::string_view kFaceRectsChannelName = "face_rects_channel";

// One entry, "detectFacesWindows". Face results travel back to the platform thread as a message to
// `window`, which the handler holds weakly: once the window is gone posting fails. The channel never
// sends an error envelope: a missing or non-map argument is answered with success and null once the
// handler exists; until then the method answers not-implemented.
std::array<MethodEntry, 1> FaceRectsMethodTable(const Services& services, std::weak_ptr<WindowMessageTarget> window);

// Creates `face_rects_channel` on `messenger` with the standard method codec, installs its dispatcher
// and stores it in `slot` (the previous channel is destroyed after the new one is installed).
// Call on the platform thread; `messenger` must outlive the channel.
void SetupFaceRectsChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services, std::weak_ptr<WindowMessageTarget> window);

}  // namespace runner::insight
