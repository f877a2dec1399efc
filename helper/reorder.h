// Pixel reorderings in place over the image core's turns (imaging/bitmap.h): quarter turns, mirroring,
// half turns, EXIF orientation and the turn to the magnet.
//
// A turn needs a new block: when it cannot be allocated the picture stays as it was and the call
// returns false. Re-entrant; one thread per picture.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "imaging/bitmap.h"
#include "helper/image_io.h"
#include "helper/sheet_geometry.h"  // MagnetShape

namespace mosalith {

// Source (x, y) goes to (height - 1 - y, x); width and height swap.
bool RotateClockwise(imaging::Bitmap& image);
// Source (x, y) goes to (y, width - 1 - x); width and height swap.
bool RotateCounterClockwise(imaging::Bitmap& image);
// Swaps pixel x with pixel width - 1 - x in every row.
void MirrorRows(imaging::Bitmap& image);
// Reverses the whole pixel sequence (a half turn).
void ReversePixels(imaging::Bitmap& image);

// Turns the stored pixels upright for EXIF orientation 1..8; any other value does nothing. When a quarter
// turn finds no memory the stored picture stays whole (orientations 5 and 7 then skip their mirror too).
// Returns whether width and height were swapped.
bool ApplyOrientation(imaging::Bitmap& image, int orientation);

// A loaded picture, upright. `pixels` may be smaller than the picture after a scaled decode; width_px
// and height_px are the whole picture's size, turned with the pixels, and every decision and log line
// about the picture's shape uses them, so that the decode scale changes no geometry.
struct UprightPicture {
  imaging::Bitmap pixels;
  int32_t width_px = 0;
  int32_t height_px = 0;
  imaging::ColourDescription colour = {};  // the file's, as loaded
};

// Loads a photo or frame (LoadPicture, with `need` for the decode scale), turns it upright by its EXIF
// orientation and prints the load line ("raw=" the stored size, "final=" the upright size). The failure
// with its reason, without a message, when it cannot be loaded.
base::StatusOr<UprightPicture> LoadUpright(const std::string& utf8_path, ImageCodec& codec,
                                          const ScaleNeed& need = {});

// Whether an upright picture of this size is turned to the magnet: a portrait picture in a landscape
// magnet, or a landscape picture in a portrait magnet. Square pictures and square magnets never turn.
bool ShouldRotate(int32_t width_px, int32_t height_px, MagnetShape magnet);

// Decides and applies the turn of photo `index` (its position in the job) and prints the image line.
// Returns whether the photo was turned: shouldRotate (never when `may_turn` is false: the job keeps its
// photos upright), unless the turn ran out of memory. The cell fit needs it (the user's viewport is
// turned with the photo).
bool TurnPhotoToMagnet(UprightPicture& photo, int index, MagnetShape magnet, bool may_turn = true);
// The same rule for a frame, without a log line.
void TurnFrameToMagnet(imaging::Bitmap& frame, MagnetShape magnet);

}  // namespace mosalith
