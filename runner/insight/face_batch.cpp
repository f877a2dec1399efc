// One batch of face detection.
#include "runner/insight/face_batch.h"

#include <exception>
#include <new>
#include <optional>
#include <utility>

#include "runner/insight/face_geometry.h"
#include "runner/log.h"
#include "runner/status_numbers.h"

namespace runner::insight {
namespace {

using platform::GraphicsStatus;

// A failure that ends the whole batch, with the text of its "FD: " line.
struct BatchFailure {
  std::string line;
  std::string reason;  // the image core's reason when the photo could not be used; else the failure's
};

// The code a platform file error is reported with, as the Windows error codes in HRESULT form read.
const char* OpenErrorCode(GraphicsStatus status) {
  switch (status) {
    case GraphicsStatus::kNotFound:
      return "80070002";
    case GraphicsStatus::kAccessDenied:
      return "80070005";
    default:
      return "80004005";
  }
}

bool IsOpenFailure(GraphicsStatus status) {
  return status == GraphicsStatus::kNotFound || status == GraphicsStatus::kAccessDenied ||
         status == GraphicsStatus::kIoError;
}

BatchFailure DecodeFailure(const std::string& path, GraphicsStatus status, const std::string& reason) {
  return {"FD: std::exception in worker: cannot decode \"" + path + "\" (graphics status " +
              std::to_string(runner::GraphicsStatusNumber(status)) + ")",
          reason.empty() ? "decode_failed" : reason};
}

FaceRecord Record(const std::string& path, std::vector<FaceRect> faces, std::string debug_info) {
  return FaceRecord{path, std::move(faces), std::move(debug_info)};
}

// The upright grey picture of `path` at exactly `size` (upright), decoded with the reduction `size`
// allows. kOk or the failing status.
GraphicsStatus DetectorPicture(const platform::Graphics& graphics, const std::string& path,
                               const platform::ImageInfo& info, PixelSize size, platform::GrayImage* out,
                               std::string* reason) {
  const bool turned = imaging::OrientationSwapsSides(info.orientation);
  // Sizes in the stored orientation, which is how the file is decoded.
  const int stored_width = static_cast<int>(turned ? size.height_px : size.width_px);
  const int stored_height = static_cast<int>(turned ? size.width_px : size.height_px);
  // Decoded straight to the size by the one reduction (a JPEG from the DCT scale that keeps twice it).
  platform::DecodeOptions options;
  if (stored_width != info.width_px || stored_height != info.height_px) {
    options.exact_width_px = stored_width;
    options.exact_height_px = stored_height;
  }
  // Faces are looked for in what the person sees: a damaged photo is searched with its damage.
  options.purpose = imaging::DecodePurpose::kShow;
  platform::DecodedImage decoded;
  GraphicsStatus status = graphics.Decode(path, options, &decoded, reason);
  if (status != GraphicsStatus::kOk) return status;
  imaging::Bitmap stored = std::move(decoded.bitmap);
  if (stored.width_px != stored_width || stored.height_px != stored_height) {
    std::unique_ptr<platform::Canvas> canvas = graphics.CreateCanvas(stored_width, stored_height, &status);
    if (!canvas) return status;
    status = canvas->DrawBitmap(stored, {0, 0, static_cast<double>(stored_width), static_cast<double>(stored_height)},
                                platform::Filter::kBicubic, platform::Blend::kSourceCopy);
    if (status != GraphicsStatus::kOk) return status;
    stored = imaging::Bitmap();  // release the large picture before the copy is made
    std::optional<imaging::Bitmap> resampled = canvas->Snapshot();
    if (!resampled) return GraphicsStatus::kOutOfMemory;
    stored = std::move(*resampled);
  }
  const imaging::Bitmap upright =
      imaging::ApplyOrientation(std::move(stored), info.orientation, imaging::OrientationSet::kAll);
  *out = GrayFromBitmap(upright);
  return GraphicsStatus::kOk;
}

// Detects in `picture`; a detector failure ends the batch. The photo fails alone (nothing, with
// `*failure` naming it) when the budget cannot hold the detector's working memory.
std::optional<std::vector<platform::FaceBox>> Detect(const FaceBatchPorts& ports, const platform::GrayImage& picture,
                                                     BatchFailure* failure) {
  const uint64_t working = kDetectorBytesPerPixel * static_cast<uint64_t>(picture.width_px) *
                           static_cast<uint64_t>(picture.height_px);
  if (ports.budget != nullptr && !ports.budget->CanEverTake(working)) {
    *failure = {"FD: std::exception in worker: face detection needs more memory than the budget", "too large"};
    return std::nullopt;
  }
  std::optional<imaging::MemoryHold> hold = imaging::MemoryHold::Take(ports.budget, working);
  if (!hold) {
    *failure = {"FD: std::exception in worker: no memory for face detection", "out of memory"};
    return std::nullopt;
  }
  base::StatusOr<std::vector<platform::FaceBox>> boxes = ports.detection->Detect(picture, ports.run_parts);
  if (!boxes.ok()) {
    *failure = {"FD: std::exception in worker: face detection failed: " + boxes.status().message(),
                "face detection failed"};
    return std::nullopt;
  }
  return std::move(*boxes);
}

// One photo's record, or nothing with `*failure` set when the batch must end.
std::optional<FaceRecord> ProcessPhoto(const std::string& path, const FaceBatchPorts& ports, BatchFailure* failure) {
  const std::string opened_path = RewriteDevicePath(path);
  if (ports.detection == nullptr) return Record(path, {}, "FD: detector_create_failed");
  LogLine("FD: Opening path: " + opened_path);
  if (ports.graphics == nullptr) {
    LogLine("FD: failed to open file for read (unknown error)");
    return Record(path, {}, "FD: file_open_failed");
  }
  platform::ImageInfo info;
  std::string reason;
  const GraphicsStatus open_status = ports.graphics->ReadInfo(opened_path, &info, &reason);
  if (IsOpenFailure(open_status)) {
    LogLine(std::string("FD: failed to open file: HRESULT=0x") + OpenErrorCode(open_status));
    return Record(path, {}, "FD: file_open_failed");
  }
  LogLine("FD: File opened successfully");
  if (open_status != GraphicsStatus::kOk) {
    *failure = DecodeFailure(opened_path, open_status, reason);
    return std::nullopt;
  }
  LogLine("FD: BitmapDecoder created");

  const bool turned = imaging::OrientationSwapsSides(info.orientation);
  const PixelSize full{turned ? info.height_px : info.width_px, turned ? info.width_px : info.height_px};
  const PixelSize scaled = CappedDetectorSize(full, ports.size_cap_px);
  const PixelSize searched = SearchSize(scaled);
  platform::GrayImage picture;
  GraphicsStatus status = DetectorPicture(*ports.graphics, opened_path, info, searched, &picture, &reason);
  if (status != GraphicsStatus::kOk) {
    *failure = DecodeFailure(opened_path, status, reason);
    return std::nullopt;
  }
  // The capped picture's size, which the detector's boxes are reported in.
  LogLine("FD: SoftwareBitmap created, PixelWidth=" + std::to_string(scaled.width_px) +
          " PixelHeight=" + std::to_string(scaled.height_px) + " Format=62");
  std::optional<std::vector<platform::FaceBox>> boxes = Detect(ports, picture, failure);
  if (!boxes) return std::nullopt;
  *boxes = BoxesAt(*boxes, searched, scaled);  // as found in the capped picture
  LogLine("FD: DetectFacesAsync done, count=" + std::to_string(boxes->size()));
  ScaleBack factors = ScaleBackFactors(full, scaled);
  PixelSize seen = scaled;

  // Nothing found in a reduced picture: look again at full size, unless that picture is over the
  // decoding budget or the full-size look's limit, in which case the reduced result stands. A full-size
  // look that would search the same picture again (both reduced to the smallest face worth finding)
  // cannot find more, and is not made.
  const PixelSize full_searched = SearchSize(full);
  if (boxes->empty() && !(scaled == full) && !(full_searched == searched) &&
      imaging::SizeWithinLimits(full.width_px, full.height_px) &&
      full_searched.width_px * full_searched.height_px <= ports.max_full_size_look_pixels) {
    picture = platform::GrayImage();
    platform::GrayImage full_picture;
    status = DetectorPicture(*ports.graphics, opened_path, info, full_searched, &full_picture, &reason);
    if (status == GraphicsStatus::kOk) {
      boxes = Detect(ports, full_picture, failure);
      if (!boxes) return std::nullopt;
      *boxes = BoxesAt(*boxes, full_searched, full);
      factors = ScaleBack{};
      seen = full;
    } else if (status != GraphicsStatus::kOutOfMemory && status != GraphicsStatus::kInvalidArgument) {
      *failure = DecodeFailure(opened_path, status, reason);
      return std::nullopt;
    }
  }

  std::vector<FaceRect> faces = MapFaceBoxes(*boxes, seen, factors);
  const std::string line = FaceDiagnosticLine(full, scaled, faces.size());
  LogLine(line);
  return Record(path, std::move(faces), line + "\n");
}

}  // namespace

platform::GrayImage GrayFromBitmap(const imaging::Bitmap& image) {
  platform::GrayImage gray;
  gray.width_px = image.width_px;
  gray.height_px = image.height_px;
  const size_t count = static_cast<size_t>(image.width_px) * static_cast<size_t>(image.height_px);
  gray.pixels.resize(count);
  const uint8_t* rgba = image.rgba.data();
  for (size_t i = 0; i < count; ++i, rgba += 4) {
    // 0.299, 0.587, 0.114 in 1/65536ths; the weights add up to 65536 so white stays 255.
    gray.pixels[i] = static_cast<uint8_t>((19595u * rgba[0] + 38470u * rgba[1] + 7471u * rgba[2] + 32768u) >> 16);
  }
  return gray;
}

std::vector<FaceRecord> RunFaceBatch(const std::vector<std::string>& paths, const FaceBatchPorts& ports) {
  try {
    std::vector<FaceRecord> records;
    for (size_t index = 0; index < paths.size(); ++index) {
      const std::string& path = paths[index];
      if (ports.stopping && ports.stopping()) return {};  // the window is closing: nobody waits for this
      BatchFailure failure;
      std::optional<FaceRecord> record = ProcessPhoto(path, ports, &failure);
      if (!record) {
        // A photo that cannot be used fails alone: the others keep their faces.
        LogLine(failure.line);
        LogLine("FD: Photo " + std::to_string(index) + " skipped (" + path + "): " + failure.reason);
        record = Record(path, {}, "FD: " + failure.reason + "\n");
      }
      records.push_back(std::move(*record));
      if (ports.progressed) ports.progressed();
    }
    return records;
  } catch (const std::exception& e) {
    LogLine(std::string("FD: std::exception in worker: ") + e.what());
  } catch (...) {
    LogLine("FD: Unknown exception in worker thread");
  }
  return {};
}

}  // namespace runner::insight
