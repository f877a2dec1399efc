// The `face_rects_channel` channel ("detectFacesWindows"): its method table and its setup.
#pragma once

#include <array>
#include <memory>

#include "runner/channels/channel.h"
#include "runner/services.h"
#include "runner/window_messages.h"

namespace runner::insight {

inline constexpr std::string_view kFaceRectsChannelName = "face_rects_channel";

// One entry, "detectFacesWindows": a map with "imagePaths", a list of path strings (other elements are
// skipped). A missing or non-map argument answers success with null, a missing or non-list "imagePaths"
// an empty list, both at once; otherwise the batch goes to the face workers (face_workers.h) and the call
// is answered later, with the per-image records of face_batch.h, when its results message reaches the
// main window, held weakly here: once the window is gone posting fails and the call is answered where
// the message is dropped. The channel never sends an error envelope.
std::array<MethodEntry, 1> FaceRectsMethodTable(const Services& services, std::weak_ptr<WindowMessageTarget> window);

// Creates `face_rects_channel` on `messenger` with the standard method codec, installs its dispatcher
// and stores it in `slot` (the previous channel is destroyed after the new one is installed).
// Call on the platform thread; `messenger` must outlive the channel.
void SetupFaceRectsChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services, std::weak_ptr<WindowMessageTarget> window);

}  // namespace runner::insight
