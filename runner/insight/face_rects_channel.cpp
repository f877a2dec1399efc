// The `face_rects_channel` channel: "detectFacesWindows" hands each batch to the face workers, which
// answer through the main window's face-results message.
#include "runner/insight/face_rects_channel.h"

#include <string>
#include <utility>
#include <vector>

#include "runner/channels/channel_args.h"
#include "runner/insight/face_geometry.h"
#include "runner/insight/face_workers.h"
#include "runner/log.h"

namespace runner::insight {
namespace {

void DetectFaces(FaceWorkers& workers, const MethodCall& call, std::unique_ptr<MethodResult> result) {
  const EncodableMap* arguments = ArgumentMap(call);
  if (arguments == nullptr) return result->Success();
  const KeyLookup<const EncodableList*> image_paths = LookUp(*arguments, "imagePaths", kList);
  if (!image_paths.value) return result->Success(EncodableValue(EncodableList{}));
  // Elements that are not strings are skipped without a word: the answer then has fewer records.
  std::vector<std::string> paths = ReadElements(**image_paths.value, kString);
  LogLine(ChannelLogLine(paths));
  workers.Submit(std::move(paths), std::move(result));
}

}  // namespace

std::array<MethodEntry, 1> FaceRectsMethodTable(const Services& services, std::weak_ptr<WindowMessageTarget> window) {
  std::shared_ptr<FaceWorkers> workers = FaceWorkers::Create(services, std::move(window));
  return {{{"detectFacesWindows", [workers](const MethodCall& call, std::unique_ptr<MethodResult> result) {
              DetectFaces(*workers, call, std::move(result));
            }}}};
}

void SetupFaceRectsChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services, std::weak_ptr<WindowMessageTarget> window) {
  InstallChannel(messenger, kFaceRectsChannelName, FaceRectsMethodTable(services, std::move(window)), slot);
}

}  // namespace runner::insight
