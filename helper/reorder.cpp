// Quarter turns, mirrors and half turns of RGBA buffers, EXIF orientation and the turn to the magnet.
#include "helper/reorder.h"

#include <algorithm>
#include <cstddef>
#include <new>
#include <string>
#include <utility>

#include "helper/image_io.h"
#include "helper/log.h"

namespace mosalith {
namespace {

// The core's turns give a new picture and throw when its pixels cannot be had; here the picture then
// stays as it was.
template <typename Turn>
bool Replace(imaging::Bitmap& image, Turn turn) {
  if (image.empty()) return true;
  try {
    image = turn(image);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

}  // namespace

bool RotateClockwise(imaging::Bitmap& image) { return Replace(image, imaging::RotateClockwise); }

bool RotateCounterClockwise(imaging::Bitmap& image) { return Replace(image, imaging::RotateCounterClockwise); }

void MirrorRows(imaging::Bitmap& image) { Replace(image, imaging::MirrorRows); }

void ReversePixels(imaging::Bitmap& image) { Replace(image, imaging::Rotate180); }

bool ApplyOrientation(imaging::Bitmap& image, int orientation) {
  // A quarter turn that cannot get memory leaves the stored picture whole rather than half-applied.
  switch (orientation) {
    case 2:
      MirrorRows(image);
      return false;
    case 3:
      ReversePixels(image);
      return false;
    case 4:
      MirrorRows(image);
      ReversePixels(image);
      return false;
    case 5:
      if (!RotateClockwise(image)) return false;
      MirrorRows(image);
      return true;
    case 6:
      return RotateClockwise(image);
    case 7:
      if (!RotateCounterClockwise(image)) return false;
      MirrorRows(image);
      return true;
    case 8:
      return RotateCounterClockwise(image);
    default:
      return false;
  }
}

base::StatusOr<UprightPicture> LoadUpright(const std::string& utf8_path, ImageCodec& codec, const ScaleNeed& need) {
  base::StatusOr<Picture> picture = LoadPicture(utf8_path, codec, need);
  if (!picture.ok()) return picture.status();
  UprightPicture upright;
  upright.pixels = std::move(picture->pixels);
  upright.colour = std::move(picture->colour);
  const bool swapped = ApplyOrientation(upright.pixels, picture->orientation);
  upright.width_px = swapped ? picture->stored_height_px : picture->stored_width_px;
  upright.height_px = swapped ? picture->stored_width_px : picture->stored_height_px;
  LogLine("Mosalith: load " + utf8_path + " raw=" + std::to_string(picture->stored_width_px) + "x" +
          std::to_string(picture->stored_height_px) + " exif=" + std::to_string(picture->orientation) +
          " final=" + std::to_string(upright.width_px) + "x" + std::to_string(upright.height_px));
  return upright;
}

bool ShouldRotate(int32_t width_px, int32_t height_px, MagnetShape magnet) {
  return (magnet.landscape && width_px < height_px) || (magnet.portrait && height_px < width_px);
}

bool TurnPhotoToMagnet(UprightPicture& photo, int index, MagnetShape magnet, bool may_turn) {
  const int32_t w = photo.width_px;
  const int32_t h = photo.height_px;
  const bool rotate = may_turn && ShouldRotate(w, h, magnet);
  const char* shape = w < h ? " portrait" : (h < w ? " landscape" : " square");
  LogLine("Mosalith: Image " + std::to_string(index) + " " + std::to_string(w) + "x" + std::to_string(h) +
          shape + " shouldRotate=" + (rotate ? "1" : "0") + " cellPortrait=" + (magnet.portrait ? "1" : "0") +
          " cellLandscape=" + (magnet.landscape ? "1" : "0"));
  // A turn that found no memory leaves the photo as it was; the viewport must then stay unturned too.
  if (!rotate || !RotateClockwise(photo.pixels)) return false;
  std::swap(photo.width_px, photo.height_px);
  return true;
}

void TurnFrameToMagnet(imaging::Bitmap& frame, MagnetShape magnet) {
  if (ShouldRotate(frame.width_px, frame.height_px, magnet)) RotateClockwise(frame);
}

}  // namespace mosalith
