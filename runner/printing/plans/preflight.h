// The preflight of a sheet plan's photos: how each will come out on its magnet before anything is
// composed, by the composers' own rules (the turn, the cover crop, the face-aware crop window and the
// user's zoom and pan of runner/printing/sheets/photo_fit.h and helper/crop_focus.h).
//
// Per photo: its upright size; its effective resolution on the magnet, in photo pixels per inch after
// the crop and the user's zoom ("lowResolution" below kLowResolutionPpi); the faces found in it and those
// the crop cuts ("faceCut": more than kFaceCutShare of a face's box outside the magnet); "unreadable"
// with the reason when its header cannot be read.
// Runs on a worker thread (it reads every photo and looks for faces); thread-compatible.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "helper/grid_job.h"
#include "platform/face_detector.h"
#include "platform/graphics.h"

namespace runner::printing {

inline constexpr double kLowResolutionPpi = 200;
inline constexpr double kFaceCutShare = 0.05;

struct PhotoPreflight {
  std::string path;
  bool readable = false;
  std::string reason;        // why it is unreadable
  int32_t width_px = 0;      // upright
  int32_t height_px = 0;
  bool turned = false;       // turned a quarter to its magnet
  double effective_ppi = 0;
  bool faces_checked = false;  // a detector looked at it
  int faces = 0;
  int faces_cut = 0;
  std::vector<mosalith::FaceArea> face_areas;  // fractions of the upright photo
  std::vector<std::string> warnings;  // "unreadable", "lowResolution", "faceCut", in that order
};

// The preflight of `sheet.images` laid out as `sheet` lays them out (its cells are its magnets, as a
// plan's request makes them), with their effect records and, when it has them, their faces (else they
// are looked for with `detector`, which may be null: no face checks).
std::vector<PhotoPreflight> PreflightPhotos(const mosalith::GridJob& sheet, const platform::Graphics& graphics,
                                            const platform::FaceDetector* detector,
                                            const std::function<bool()>& stopping);

// The reason text of a picture that cannot be read, for a graphics port that gives none of its own.
std::string UnreadableReason(platform::GraphicsStatus status);

}  // namespace runner::printing
