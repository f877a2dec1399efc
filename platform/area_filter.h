// The area filter: the application's one way of making a picture smaller. Along a side reduced more than
// twice, each pixel of an intermediate picture of twice the result's size averages exactly the part of
// the source it covers (each source pixel weighted by the share of it inside that part), so every
// source pixel is read once whatever the factor; the last factor of at most two is a Lanczos-3 step
// stretched by that factor, which removes the fine patterns an average alone folds back as moire. The
// filter never reaches outside the source part (edge pixels repeat).
//
// Colours are filtered weighted by alpha (as premultiplied values), so transparent pixels lend no
// colour to their neighbours; results are straight alpha, rounded to the nearest level and clamped
// (the kernel's lobes can overshoot at hard edges). Filtering is in the stored (sRGB-encoded) values,
// as picture tools do for previews.
// Only reductions: each side of the result at most the source part's extent along it. Pure code, no
// third-party library. Thread safety: re-entrant; an AreaReducer is used by one thread at a time.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "platform/bitmap.h"

namespace platform {

// A part of a picture in its pixels, origin top-left; fractional edges take fractions of edge pixels.
struct SourcePart {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// True when `part` lies within a width_px x height_px picture, has area, and reduces (or keeps) to
// out_width_px x out_height_px along both sides.
bool AreaReductionApplies(const SourcePart& part, int width_px, int height_px, int out_width_px, int out_height_px);

// Reduces a picture fed row by row, so a decoder can hand over rows as it makes them and the whole
// source never has to be held. Rows of the source part's row range are fed top to bottom.
class AreaReducer {
 public:
  // Nothing when AreaReductionApplies is false or the memory cannot be had.
  static std::unique_ptr<AreaReducer> Create(const SourcePart& part, int source_width_px, int source_height_px,
                                             int out_width_px, int out_height_px);
  ~AreaReducer();
  AreaReducer(const AreaReducer&) = delete;
  AreaReducer& operator=(const AreaReducer&) = delete;

  // The source rows the reduction reads: first_row() .. first_row() + row_count() - 1.
  int first_row() const;
  int row_count() const;

  // Adds the next source row (source_width_px RGBA pixels, straight alpha).
  void AddRow(const uint8_t* rgba);

  // The result once every row was added; nothing before that.
  std::optional<Bitmap> Finish();

 private:
  struct State;
  explicit AreaReducer(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

// `image`'s part `part` reduced to out_width_px x out_height_px; nothing when the reduction does not
// apply (see AreaReductionApplies) or memory runs out.
std::optional<Bitmap> ReduceByArea(const Bitmap& image, const SourcePart& part, int out_width_px, int out_height_px);

// The whole of `image` reduced to out_width_px x out_height_px.
std::optional<Bitmap> ReduceByArea(const Bitmap& image, int out_width_px, int out_height_px);

}  // namespace platform
