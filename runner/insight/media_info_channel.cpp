// The `media_info_channel` channel: "getQuickMeta", read from the file header on the metadata lane.
#include "runner/insight/media_info_channel.h"

#include <string>

#include "platform/metadata_reader.h"
#include "runner/channels/channel_args.h"
#include "runner/insight/quick_meta.h"
#include "runner/work_lanes.h"

namespace runner::insight {
namespace {

void GetQuickMeta(const platform::MetadataReader* reader, const MethodCall& call, std::unique_ptr<MethodResult> result) {
  const EncodableMap* arguments = ArgumentMap(call);
  if (arguments == nullptr) return result->Success();
  const KeyLookup<std::string> path = LookUp(*arguments, "path", kString);
  if (!path.value || path.value->empty() || reader == nullptr) return result->Success();
  const std::optional<platform::PictureMetadata> metadata = reader->Read(*path.value);
  if (!metadata) return result->Success();
  const QuickMeta meta = QuickMetaFrom(*metadata);
  EncodableMap reply{
      {EncodableValue("width"), EncodableValue(static_cast<int32_t>(meta.width_px))},
      {EncodableValue("height"), EncodableValue(static_cast<int32_t>(meta.height_px))},
  };
  if (meta.captured_at_millis) {
    reply.emplace(EncodableValue("capturedAtMillis"), EncodableValue(static_cast<int64_t>(*meta.captured_at_millis)));
  }
  result->Success(EncodableValue(std::move(reply)));
}

}  // namespace

std::array<MethodEntry, 1> MediaInfoMethodTable(const Services& services) {
  const platform::MetadataReader* reader = services.metadata;
  // The file is read on the metadata lane; a read the host ends first is answered null.
  MethodHandler handler = [reader](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    GetQuickMeta(reader, call, std::move(result));
  };
  return {{{"getQuickMeta", OnLane(services.lanes ? &services.lanes->metadata : nullptr, services.pending,
                                   "metadata read", [](const MethodCall&, MethodResult& result) { result.Success(); },
                                   std::move(handler))}}};
}

void SetupMediaInfoChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                    const Services& services) {
  InstallChannel(messenger, kMediaInfoChannelName, MediaInfoMethodTable(services), slot);
}

}  // namespace runner::insight
