// The `face_rects_channel` channel: its method table and its setup.
#include "runner/insight/face_rects_channel.h"

#include <utility>

namespace runner::insight {

std::array<MethodEntry, 1> FaceRectsMethodTable(const Services& services, std::weak_ptr<WindowMessageTarget> window) {
  (void)services;
  // The handler, when written, captures `window` (the worker posts its results there), and answers
  // success with null for a missing or non-map argument (ArgumentMap(call) == nullptr).
  (void)window;
  return {{{"detectFacesWindows", MethodHandler()}}};
}

void SetupFaceRectsChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services, std::weak_ptr<WindowMessageTarget> window) {
  InstallChannel(messenger, kFaceRectsChannelName, FaceRectsMethodTable(services, std::move(window)), slot);
}

}  // namespace runner::insight
