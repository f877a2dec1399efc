// Quarter turns, mirrors and half turns of RGBA buffers, EXIF orientation and the turn to the magnet.
#include "helper/reorder.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <string>
#include <utility>

#include "helper/image_io.h"
#include "helper/log.h"

namespace mosalith {
namespace {

// Pixels move as whole 32-bit words; memcpy keeps that free of aliasing questions and compiles to one
// load and one store.
inline uint32_t LoadPixel(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline void StorePixel(uint8_t* p, uint32_t v) { std::memcpy(p, &v, 4); }

// Quarter turns walk the source in square tiles so that both the rows read and the rows written stay
// in cache; a plain row walk writes one pixel per cache line on large photos.
constexpr int32_t kTurnTile = 64;

enum class Turn { kClockwise, kCounterClockwise };

bool QuarterTurn(ImageBuffer& image, Turn turn) {
  if (image.empty()) return true;
  const int32_t w = image.width();
  const int32_t h = image.height();
  std::optional<ImageBuffer> turned = ImageBuffer::Allocate(h, w);
  if (!turned) return false;
  // Clockwise: (x, y) goes to (h - 1 - y, x); counter-clockwise: (x, y) goes to (y, w - 1 - x). Within a
  // source row the target steps by one whole target row per pixel, forwards or backwards.
  const bool clockwise = turn == Turn::kClockwise;
  const ptrdiff_t target_step = static_cast<ptrdiff_t>(turned->stride_bytes()) * (clockwise ? 1 : -1);
  for (int32_t ty = 0; ty < h; ty += kTurnTile) {
    const int32_t y_end = std::min(h, ty + kTurnTile);
    for (int32_t tx = 0; tx < w; tx += kTurnTile) {
      const int32_t x_end = std::min(w, tx + kTurnTile);
      for (int32_t y = ty; y < y_end; ++y) {
        const uint8_t* src = image.pixel(tx, y);
        uint8_t* dst = clockwise ? turned->pixel(h - 1 - y, tx) : turned->pixel(y, w - 1 - tx);
        for (int32_t x = tx; x < x_end; ++x, src += 4, dst += target_step) StorePixel(dst, LoadPixel(src));
      }
    }
  }
  image = std::move(*turned);
  return true;
}

}  // namespace

bool RotateClockwise(ImageBuffer& image) { return QuarterTurn(image, Turn::kClockwise); }

bool RotateCounterClockwise(ImageBuffer& image) { return QuarterTurn(image, Turn::kCounterClockwise); }

void MirrorRows(ImageBuffer& image) {
  const int32_t w = image.width();
  for (int32_t y = 0; y < image.height(); ++y) {
    uint8_t* row = image.row(y);
    for (int32_t left = 0, right = w - 1; left < right; ++left, --right) {
      uint8_t* a = row + static_cast<size_t>(left) * 4;
      uint8_t* b = row + static_cast<size_t>(right) * 4;
      const uint32_t va = LoadPixel(a);
      StorePixel(a, LoadPixel(b));
      StorePixel(b, va);
    }
  }
}

void ReversePixels(ImageBuffer& image) {
  if (image.empty()) return;
  uint8_t* first = image.data();
  uint8_t* last = image.data() + image.size_bytes() - 4;
  for (; first < last; first += 4, last -= 4) {
    const uint32_t v = LoadPixel(first);
    StorePixel(first, LoadPixel(last));
    StorePixel(last, v);
  }
}

bool ApplyOrientation(ImageBuffer& image, int orientation) {
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

std::optional<UprightPicture> LoadUpright(const std::string& utf8_path, ImageCodec& codec, const ScaleNeed& need) {
  std::optional<Picture> picture = LoadPicture(utf8_path, codec, need);
  if (!picture) return std::nullopt;
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

void TurnFrameToMagnet(ImageBuffer& frame, MagnetShape magnet) {
  if (ShouldRotate(frame.width(), frame.height(), magnet)) RotateClockwise(frame);
}

}  // namespace mosalith
