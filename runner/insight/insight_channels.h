// The three insight channels: `thumbnail_channel` ("getThumbnail"), `media_info_channel` ("getQuickMeta")
// and `face_rects_channel` ("detectFacesWindows"): their handlers, method tables and setups.
//
// None of the three ever sends an error envelope: what cannot be answered is answered success with null
// (or, for faces, an empty list). Each Setup* creates its channel on `messenger` with the standard method
// codec, installs its dispatcher and stores it in `slot` (the previous channel is destroyed after the new
// one is installed). Call the setups on the platform thread; `messenger` must outlive the channel.
#pragma once

#include <array>
#include <memory>
#include <vector>

#include "runner/channels/channel.h"
#include "runner/insight/face_batch.h"
#include "runner/services.h"

namespace runner::insight {

inline constexpr std::string_view kThumbnailChannelName = "thumbnail_channel";
inline constexpr std::string_view kMediaInfoChannelName = "media_info_channel";
inline constexpr std::string_view kFaceRectsChannelName = "face_rects_channel";

// "getThumbnail": a map with "path" (string), "width" and "height" (int32; any other kind counts as 0)
// and "scale" (number, 1.0 when absent or of another kind). Answers from a worker of the preview lane
// (services.lanes, when given; else where it is called) with the bytes of an RGBA PNG preview
// (thumbnail.h). A missing or non-map argument, an empty path, a width or height not above 0, or any
// failure answers success with null.
MethodHandler MakeGetThumbnailHandler(const Services& services);
std::array<MethodEntry, 1> ThumbnailMethodTable(const Services& services);
void SetupThumbnailChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services);

// "getQuickMeta": a map with "path" (a string). Answers from a worker of the metadata lane
// (services.lanes, when given; else where it is called), from the file's header only, with a map of
// "width" and "height" (int32, upright) and, when a capture time after 1970 is stored, "capturedAtMillis"
// (int64); see quick_meta.h. A missing or non-map argument, a missing, non-string or empty path, or a file
// that is not a readable JPEG or PNG answers success with null.
MethodHandler MakeGetQuickMetaHandler(const Services& services);
std::array<MethodEntry, 1> MediaInfoMethodTable(const Services& services);
void SetupMediaInfoChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services);

// "detectFacesWindows": a map with "imagePaths", a list of path strings (other elements are skipped). A
// missing or non-map argument answers success with null, a missing or non-list "imagePaths" an empty
// list, both at once; otherwise the batch goes to the face workers (face_workers.h) and the call is
// answered later by its worker, with FaceRecordsToList of its records.
MethodHandler MakeDetectFacesWindowsHandler(const Services& services);
std::array<MethodEntry, 1> FaceRectsMethodTable(const Services& services);
void SetupFaceRectsChannel(flutter::BinaryMessenger* messenger, std::unique_ptr<Channel>& slot,
                           const Services& services);

// The reply of a face batch: one map per record, "imagePath", "faces" (list of maps "left", "top",
// "width", "height", doubles) and "debugInfo"; an empty list when the batch failed.
EncodableList FaceRecordsToList(const std::vector<FaceRecord>& records);

}  // namespace runner::insight
