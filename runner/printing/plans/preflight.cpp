// The preflight: each photo's header, its fit on the magnet as the composers make it, and its faces.
#include "runner/printing/plans/preflight.h"

#include <algorithm>
#include <cmath>

#include "helper/crop_focus.h"
#include "helper/sheet_geometry.h"
#include "runner/insight/photo_faces.h"
#include "runner/printing/sheets/photo_fit.h"

namespace runner::printing {
namespace {

// A rectangle of the cover-scaled photo as it lies on its magnet, in pixels.
struct Region {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
};

// The part of the cover-scaled photo (cover_width x cover_height, as it lies) that its magnet shows, and
// the photo pixels per magnet pixel.
struct Shown {
  Region magnet;
  double zoom = 1;  // magnet pixels per cover-scaled pixel
};

Shown ShownPart(const PhotoFit& fit, const mosalith::SheetGeometry& layout, const mosalith::EffectRecord* effects,
                double cover_width, double cover_height) {
  const double magnet_width = layout.cell_width_px;
  const double magnet_height = layout.cell_height_px;
  Shown shown;
  if (mosalith::WantsUserTransform(effects) && effects->viewportWidth > 0 && effects->viewportHeight > 0 &&
      effects->scale > 0) {
    // The user's zoom and pan, as the cell fit samples it: a centre in the cover-scaled photo and a zoom.
    const double vw = fit.rotate ? effects->viewportHeight : effects->viewportWidth;
    const double vh = fit.rotate ? effects->viewportWidth : effects->viewportHeight;
    const double ratio = std::min(cover_width / vw, cover_height / vh);
    const double cx = cover_width / 2 + ratio * effects->offsetX;
    const double cy = cover_height / 2 + ratio * effects->offsetY;
    shown.zoom = effects->scale;
    const double half_width = magnet_width / 2 / shown.zoom;
    const double half_height = magnet_height / 2 / shown.zoom;
    shown.magnet = {cx - half_width, cy - half_height, cx + half_width, cy + half_height};
    return shown;
  }
  const double left = fit.source_x_px + layout.bleed_px;
  const double top = fit.source_y_px + layout.bleed_px;
  shown.magnet = {left, top, left + magnet_width, top + magnet_height};
  return shown;
}

// Whether the magnet cuts off more than kFaceCutShare of `face` (fractions of the photo as it lies).
bool FaceCut(const mosalith::FaceArea& face, const Region& magnet, double cover_width, double cover_height) {
  const double left = face.left * cover_width;
  const double top = face.top * cover_height;
  const double right = left + face.width * cover_width;
  const double bottom = top + face.height * cover_height;
  const double area = (right - left) * (bottom - top);
  if (!(area > 0)) return false;
  const double inside_width = std::max(0.0, std::min(right, magnet.right) - std::max(left, magnet.left));
  const double inside_height = std::max(0.0, std::min(bottom, magnet.bottom) - std::max(top, magnet.top));
  return area - inside_width * inside_height > kFaceCutShare * area;
}

}  // namespace

std::string UnreadableReason(platform::GraphicsStatus status) {
  switch (status) {
    case platform::GraphicsStatus::kNotFound:
      return "file not found";
    case platform::GraphicsStatus::kAccessDenied:
      return "access denied, or not a regular file";
    case platform::GraphicsStatus::kUnsupported:
    case platform::GraphicsStatus::kCorrupt:
      return "not a picture this program reads, or damaged data";
    case platform::GraphicsStatus::kInvalidArgument:
    case platform::GraphicsStatus::kOutOfMemory:
      return "picture beyond the size limits";
    default:
      return "the file cannot be read";
  }
}

std::vector<PhotoPreflight> PreflightPhotos(const mosalith::GridJob& sheet, const platform::Graphics& graphics,
                                            const platform::FaceDetector* detector,
                                            const std::function<bool()>& stopping) {
  std::vector<PhotoPreflight> photos(sheet.images.size());
  std::string problem;
  const std::optional<mosalith::SheetGeometry> layout =
      mosalith::ComputeSheetGeometry(sheet, problem, mosalith::MagnetSizing::kWholeCell);
  if (!layout) return photos;
  // Faces the request brings are used as they are; otherwise they are looked for.
  std::vector<insight::PhotoFaces> faces;
  if (sheet.faces.empty()) {
    faces = insight::FindPhotoFaces(sheet.images, graphics, detector, stopping);
  } else {
    for (const std::vector<mosalith::FaceArea>& given : sheet.faces) faces.push_back({true, given});
  }
  const double dpi = sheet.dpi > 0 ? sheet.dpi : 300;
  for (size_t i = 0; i < photos.size(); ++i) {
    PhotoPreflight& photo = photos[i];
    photo.path = sheet.images[i];
    platform::ImageInfo info;
    std::string reason;
    const platform::GraphicsStatus status = graphics.ReadInfo(photo.path, &info, &reason);
    const bool swaps = imaging::OrientationSwapsSides(info.orientation);
    photo.width_px = swaps ? info.height_px : info.width_px;
    photo.height_px = swaps ? info.width_px : info.height_px;
    const std::vector<mosalith::FaceArea>* found = i < faces.size() ? &faces[i].faces : nullptr;
    const PhotoFit fit = CoverPhotoInCell(sheet, *layout, photo.width_px, photo.height_px,
                                          sheet.faceAwareCrop ? found : nullptr);
    if (status != platform::GraphicsStatus::kOk || fit.drawn_width_px < 1) {
      // The image core names the reason ("unsupported format GIF", "damaged data"); a port that does not
      // gets the status's own words.
      photo.reason = status == platform::GraphicsStatus::kOk ? "too thin to fit its magnet"
                     : reason.empty()                      ? UnreadableReason(status)
                                                           : reason;
      photo.warnings.push_back("unreadable");
      continue;
    }
    photo.readable = true;
    photo.turned = fit.rotate;
    const double cover_width = fit.rotate ? fit.scaled_height_px : fit.scaled_width_px;
    const double cover_height = fit.rotate ? fit.scaled_width_px : fit.scaled_height_px;
    const double lying_width = fit.rotate ? photo.height_px : photo.width_px;
    const double lying_height = fit.rotate ? photo.width_px : photo.height_px;
    const mosalith::EffectRecord* effects = i < sheet.effects.size() ? &sheet.effects[i] : nullptr;
    const Shown shown = ShownPart(fit, *layout, effects, cover_width, cover_height);
    // Sheet pixels per photo pixel: the cover scale (of the magnet and its bleed) times the user's zoom.
    const double cover_scale = std::max(fit.drawn_width_px / lying_width, fit.drawn_height_px / lying_height);
    photo.effective_ppi = dpi / (cover_scale * shown.zoom);
    if (photo.effective_ppi < kLowResolutionPpi) photo.warnings.push_back("lowResolution");

    photo.faces_checked = i < faces.size() && faces[i].analysed;
    if (found == nullptr) continue;
    photo.faces = static_cast<int>(found->size());
    photo.face_areas = *found;
    for (const mosalith::FaceArea& face : *found) {
      const mosalith::FaceArea lying = fit.rotate ? mosalith::TurnedClockwise(face) : face;
      if (FaceCut(lying, shown.magnet, cover_width, cover_height)) ++photo.faces_cut;
    }
    if (photo.faces_cut > 0) photo.warnings.push_back("faceCut");
  }
  return photos;
}

}  // namespace runner::printing
