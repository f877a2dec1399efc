// The `thumbnail_channel` channel: "getThumbnail", made on the preview lane.
#include "runner/insight/thumbnail_channel.h"

#include <string>

#include "runner/channels/channel_args.h"
#include "runner/insight/thumbnail.h"
#include "runner/work_lanes.h"

namespace runner::insight {
namespace {

void GetThumbnail(const platform::Graphics* graphics, const platform::ThumbnailCache* cache, const MethodCall& call,
                  std::unique_ptr<MethodResult> result) {
  const EncodableMap* arguments = ArgumentMap(call);
  if (arguments == nullptr) return result->Success();
  const std::string path = LookUp(*arguments, "path", kString).value.value_or(std::string());
  const int32_t width = LookUp(*arguments, "width", kInt32).value.value_or(0);
  const int32_t height = LookUp(*arguments, "height", kInt32).value.value_or(0);
  const double scale = LookUp(*arguments, "scale", kNumber).value.value_or(1.0);
  if (path.empty() || width <= 0 || height <= 0 || graphics == nullptr) return result->Success();
  std::optional<std::vector<uint8_t>> png =
      RenderThumbnail(*graphics, cache, path, RequestedThumbnailSize(width, height, scale));
  if (!png) return result->Success();
  result->Success(EncodableValue(std::move(*png)));
}

}  // namespace

std::array<MethodEntry, 1> ThumbnailMethodTable(const Services& services) {
  const platform::Graphics* graphics = services.graphics;
  const platform::ThumbnailCache* cache = services.thumbnail_cache;
  // Previews are made on the preview lane (one per core); a preview that cannot be made, or that the host
  // ends first, is answered null.
  MethodHandler handler = [graphics, cache](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    GetThumbnail(graphics, cache, call, std::move(result));
  };
  return {{{"getThumbnail", OnLane(services.lanes ? &services.lanes->previews : nullptr, services.pending, "preview",
                                   [](const MethodCall&, MethodResult& result) { result.Success(); },
                                   std::move(handler))}}};
}

void SetupThumbnailChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                    const Services& services) {
  InstallChannel(messenger, kThumbnailChannelName, ThumbnailMethodTable(services), slot);
}

}  // namespace runner::insight
