// ReduceBitmap: a picture made smaller without moire, for every part of the application that shows a
// picture at a fraction of its size (the in-process sheet composer, previews).
//
// Each destination pixel is a weighted average of the source pixels under it and around it: a separable
// Mitchell-Netravali cubic (B = C = 1/3, the helper program's own reduction filter) stretched by the
// reduction factor, so that detail finer than the destination can show averages out to its mean instead
// of folding into false patterns, however large the reduction. Two passes (across, then down) over rows
// cached as they are needed: the work grows with the source size, the extra memory with a few rows.
// Colours are weighted by their alpha (premultiplied), so transparent pixels lend no colour to their
// neighbours. An axis that grows is interpolated with the same cubic.
// Thread safety: pure; re-entrant.
#pragma once

#include <optional>

#include "platform/bitmap.h"

namespace platform {

// A part of a picture, in whole pixels from its top-left corner.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The part `part` of `image` resampled to width_px x height_px. Nothing when the part is empty or lies
// outside the image, the size is outside the limits of platform/bitmap.h, or memory runs out.
std::optional<Bitmap> ReduceBitmap(const Bitmap& image, const PixelRect& part, int width_px, int height_px);

// All of `image` resampled to width_px x height_px.
std::optional<Bitmap> ReduceBitmap(const Bitmap& image, int width_px, int height_px);

}  // namespace platform
