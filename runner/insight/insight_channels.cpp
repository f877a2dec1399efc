// The insight channels: previews and quick metadata on their lanes, faces through the face workers.
#include "runner/insight/insight_channels.h"

#include <string>
#include <utility>
#include <vector>

#include "platform/metadata_reader.h"
#include "runner/channels/channel_args.h"
#include "runner/channels/on_lane.h"
#include "runner/insight/face_geometry.h"
#include "runner/insight/face_workers.h"
#include "runner/insight/quick_meta.h"
#include "runner/insight/thumbnail.h"
#include "runner/log.h"
#include "runner/work_lanes.h"

namespace runner::insight {
namespace {

// A call these channels do not run is answered null, as a call that fails is.
void AnswerNull(const MethodCall&, MethodResult& result) { result.Success(); }

void GetThumbnail(const platform::Graphics* graphics, const platform::ThumbnailCache* cache,
                  imaging::colour::ColourTransforms* transforms, const MethodCall& call,
                  std::unique_ptr<MethodResult> result) {
  const EncodableMap* arguments = ArgumentMap(call);
  if (arguments == nullptr) return result->Success();
  const std::string path = LookUp(*arguments, "path", kString).value.value_or(std::string());
  const int32_t width = LookUp(*arguments, "width", kInt32).value.value_or(0);
  const int32_t height = LookUp(*arguments, "height", kInt32).value.value_or(0);
  const double scale = LookUp(*arguments, "scale", kNumber).value.value_or(1.0);
  if (path.empty() || width <= 0 || height <= 0 || graphics == nullptr) return result->Success();
  std::optional<std::vector<uint8_t>> png =
      RenderThumbnail(*graphics, cache, path, RequestedThumbnailSize(width, height, scale), transforms);
  if (!png) return result->Success();
  result->Success(EncodableValue(std::move(*png)));
}

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

MethodHandler MakeGetThumbnailHandler(const Services& services) {
  const platform::Graphics* graphics = services.graphics;
  const platform::ThumbnailCache* cache = services.thumbnail_cache;
  imaging::colour::ColourTransforms* transforms = services.colour;
  // Previews are made on the preview lane (one per core); a preview that cannot be made, or that the host
  // ends first, is answered null.
  return OnLane(services.lanes ? &services.lanes->previews : nullptr, services.pending, "preview", AnswerNull,
                [graphics, cache, transforms](const MethodCall& call, std::unique_ptr<MethodResult> result) {
                  GetThumbnail(graphics, cache, transforms, call, std::move(result));
                });
}

std::array<MethodEntry, 1> ThumbnailMethodTable(const Services& services) {
  return {{{"getThumbnail", MakeGetThumbnailHandler(services)}}};
}

void SetupThumbnailChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services) {
  InstallChannel(messenger, kThumbnailChannelName, ThumbnailMethodTable(services), slot);
}

MethodHandler MakeGetQuickMetaHandler(const Services& services) {
  const platform::MetadataReader* reader = services.metadata;
  // The file is read on the metadata lane; a read the host ends first is answered null.
  return OnLane(services.lanes ? &services.lanes->metadata : nullptr, services.pending, "metadata read", AnswerNull,
                [reader](const MethodCall& call, std::unique_ptr<MethodResult> result) {
                  GetQuickMeta(reader, call, std::move(result));
                });
}

std::array<MethodEntry, 1> MediaInfoMethodTable(const Services& services) {
  return {{{"getQuickMeta", MakeGetQuickMetaHandler(services)}}};
}

void SetupMediaInfoChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services) {
  InstallChannel(messenger, kMediaInfoChannelName, MediaInfoMethodTable(services), slot);
}

MethodHandler MakeDetectFacesWindowsHandler(const Services& services) {
  std::shared_ptr<FaceWorkers> workers = FaceWorkers::Create(services);
  return [workers](const MethodCall& call, std::unique_ptr<MethodResult> result) {
    DetectFaces(*workers, call, std::move(result));
  };
}

std::array<MethodEntry, 1> FaceRectsMethodTable(const Services& services) {
  return {{{"detectFacesWindows", MakeDetectFacesWindowsHandler(services)}}};
}

void SetupFaceRectsChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services) {
  InstallChannel(messenger, kFaceRectsChannelName, FaceRectsMethodTable(services), slot);
}

EncodableList FaceRecordsToList(const std::vector<FaceRecord>& records) {
  EncodableList list;
  list.reserve(records.size());
  for (const FaceRecord& record : records) {
    EncodableList faces;
    faces.reserve(record.faces.size());
    for (const FaceRect& face : record.faces) {
      faces.emplace_back(EncodableMap{{EncodableValue("left"), EncodableValue(face.left)},
                                      {EncodableValue("top"), EncodableValue(face.top)},
                                      {EncodableValue("width"), EncodableValue(face.width)},
                                      {EncodableValue("height"), EncodableValue(face.height)}});
    }
    list.emplace_back(EncodableMap{{EncodableValue("imagePath"), EncodableValue(record.image_path)},
                                   {EncodableValue("faces"), EncodableValue(std::move(faces))},
                                   {EncodableValue("debugInfo"), EncodableValue(record.debug_info)}});
  }
  return list;
}

}  // namespace runner::insight
