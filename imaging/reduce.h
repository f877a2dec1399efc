// ReduceBitmap: a picture made smaller without moire, the one reduction of the application: the canvases'
// Filter::kArea (the in-process sheet composer), decoding to an exact size (previews), a PNG reduced row
// by row as it is decoded (RowReducer).
//
// Each destination pixel is a weighted average of the source pixels under it and around it: a separable
// Mitchell-Netravali cubic (B = C = 1/3, the helper program's own reduction filter) stretched by the
// reduction factor, so that detail finer than the destination can show averages out to its mean instead
// of folding into false patterns, however large the reduction.
// Along a side reduced more than kPreAverageFactor times, the source is first averaged by area (each
// pixel of an intermediate picture of kPreAverageFactor times the destination's size takes exactly the
// source pixels it covers, weighted by the share of each inside it), which reads every source pixel
// once; the kernel then spans only the last factor, whose cut-off removes what the averaging folds back
// near its own limit (an average over fewer than four times the destination's pixels folds back more
// than the kernel removes: a zone plate reduced four times shows rings of 13 levels after an average to
// three times, 3 without it). Two passes (across, then down) over rows as they arrive: the work grows
// with the source size, the extra memory with a few rows. Colours are weighted by their alpha
// (premultiplied), so transparent pixels lend no colour to their neighbours; results are straight alpha,
// rounded and clamped (the kernel's lobes overshoot at hard edges). An axis that grows is interpolated
// with the same kernel; a side kept at its size is copied. Source indices beyond the part's edges repeat
// the edge pixel: nothing outside the part is seen.
// Thread safety: pure; re-entrant. A RowReducer is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "imaging/bitmap.h"

namespace imaging {

inline constexpr int kPreAverageFactor = 4;

// A part of a picture, in whole pixels from its top-left corner.
struct PixelRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
};

// The reduction fed row by row, so that a decoder can hand over rows as it makes them and the whole
// source is never held.
class RowReducer {
 public:
  // A reducer of the part `part` of a picture source_width_px x source_height_px to width_px x
  // height_px. Null when the part is empty or lies outside the picture, the size is outside the limits
  // of imaging/bitmap.h, or memory runs out.
  // The result's pixels come from `budget` (none: not counted).
  static std::unique_ptr<RowReducer> Create(const PixelRect& part, int source_width_px, int source_height_px,
                                            int width_px, int height_px, MemoryBudget* budget = nullptr);
  // The same, keeping only `window` (from the top-left corner of the result) of the part resampled to
  // scaled_width_px x scaled_height_px: exactly those pixels of the whole result, computed without
  // holding it (a cover scale of a sliver may be millions of pixels wide). Null as Create, and for a
  // window that is empty or not inside the scaled size.
  static std::unique_ptr<RowReducer> CreateScaledPart(const PixelRect& part, int source_width_px, int source_height_px,
                                                  int scaled_width_px, int scaled_height_px, const PixelRect& window,
                                                  MemoryBudget* budget = nullptr);
  ~RowReducer();
  RowReducer(const RowReducer&) = delete;
  RowReducer& operator=(const RowReducer&) = delete;

  // The source rows it reads: part.y .. part.y + part.height - 1, fed top to bottom.
  int first_row() const;
  int row_count() const;

  // Adds the next source row: a whole row of the picture (source_width_px RGBA pixels, straight alpha).
  void AddRow(const uint8_t* rgba);

  // The result, once every row was added; nothing before.
  std::optional<Bitmap> Finish();

 private:
  struct State;
  explicit RowReducer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// The part `part` of `image` resampled to width_px x height_px, its pixels from the image's budget.
// Nothing when the part is empty or lies outside the image, the size is outside the limits of
// imaging/bitmap.h, or memory runs out.
std::optional<Bitmap> ReduceBitmap(const Bitmap& image, const PixelRect& part, int width_px, int height_px);

// The `window` of all of `image` resampled to scaled_width_px x scaled_height_px (see CreateScaledPart), its
// pixels from the image's budget.
std::optional<Bitmap> ReduceBitmapWindow(const Bitmap& image, int scaled_width_px, int scaled_height_px,
                                         const PixelRect& window);

// All of `image` resampled to width_px x height_px.
std::optional<Bitmap> ReduceBitmap(const Bitmap& image, int width_px, int height_px);

}  // namespace imaging
