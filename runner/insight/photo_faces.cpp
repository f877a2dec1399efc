// The faces of a sheet's photos: one face batch per photo, boxes turned into fractions of the photo.
#include "runner/insight/photo_faces.h"

#include "runner/insight/face_batch.h"
#include "runner/log.h"

namespace runner::insight {

std::vector<PhotoFaces> FindPhotoFaces(const std::vector<std::string>& paths, const platform::Graphics& graphics,
                                       const platform::FaceDetector* detector, const std::function<bool()>& stopping) {
  std::vector<PhotoFaces> found(paths.size());
  if (detector == nullptr || !detector->IsSupported() || paths.empty()) return found;
  base::StatusOr<std::unique_ptr<platform::FaceDetection>> created = detector->CreateDetection();
  if (!created.ok()) {
    LogLine("DEBUG C++: No face detector for the sheet's crops: " + created.status().message());
    return found;
  }
  const std::unique_ptr<platform::FaceDetection> detection = std::move(*created);
  FaceBatchPorts ports;
  ports.graphics = &graphics;
  ports.detection = detection.get();
  ports.run_parts = [](size_t count, const std::function<void(size_t)>& part) {
    for (size_t i = 0; i < count; ++i) part(i);
  };
  ports.stopping = stopping;
  ports.size_cap_px = kSheetFaceSizeCapPx;
  ports.max_full_size_look_pixels = 0;
  for (size_t i = 0; i < paths.size(); ++i) {
    if (stopping && stopping()) break;
    platform::ImageInfo info;
    if (graphics.ReadInfo(paths[i], &info) != platform::GraphicsStatus::kOk) continue;
    const bool turned = imaging::OrientationSwapsSides(info.orientation);
    const double width = turned ? info.height_px : info.width_px;
    const double height = turned ? info.width_px : info.height_px;
    const std::vector<FaceRecord> records = RunFaceBatch({paths[i]}, ports);
    if (records.size() != 1 || !(width > 0) || !(height > 0)) continue;
    found[i].analysed = records[0].debug_info != "FD: file_open_failed";
    for (const FaceRect& face : records[0].faces) {
      found[i].faces.push_back({face.left / width, face.top / height, face.width / width, face.height / height});
    }
  }
  return found;
}

}  // namespace runner::insight
