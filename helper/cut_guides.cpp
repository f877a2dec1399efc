// Cut guides: the bands of the grid style, the frames of the lines style and the crop marks.
#include "helper/cut_guides.h"

#include <algorithm>
#include <cmath>
#include <set>

namespace mosalith {
namespace {

struct Context {
  const GridJob& job;
  const SheetGeometry& geometry;
  const std::vector<bool>& filled;
  int64_t width = CutLineWidthPx(job);  // of every line and mark
  int64_t half = CutLineHalfWidthPx(static_cast<int32_t>(width));

  bool Filled(int64_t row, int64_t col) const {
    if (row < 0 || col < 0 || row >= job.rows || col >= job.cols) return false;
    const int64_t index = row * job.cols + col;
    return index < static_cast<int64_t>(filled.size()) && filled[static_cast<size_t>(index)];
  }
  // A band `width` wide centred on the vertical line x, over [top, bottom).
  PixelRect Vertical(int64_t x, int64_t top, int64_t bottom) const { return {x - half, top, width, bottom - top}; }
  PixelRect Horizontal(int64_t y, int64_t left, int64_t right) const { return {left, y - half, right - left, width}; }
};

void AddGrid(const Context& c, std::vector<PixelRect>& out) {
  const GridJob& job = c.job;
  const SheetGeometry& g = c.geometry;
  // The middle of the gap before column n (the cell boundary when there is no gap).
  const int64_t gap_before_middle = g.gap_px - g.gap_px / 2;
  for (int64_t n = 1; n < job.cols; ++n) {
    const int64_t left = job.marginLeft + n * (int64_t{g.cell_width_px} + g.gap_px) - gap_before_middle - c.half;
    if (left >= job.pageWidth) break;  // later boundaries lie further right
    out.push_back({left, job.marginTop, c.width, g.usable_height_px});
  }
  for (int64_t n = 1; n < job.rows; ++n) {
    const int64_t top = job.marginTop + n * (int64_t{g.cell_height_px} + g.gap_px) - gap_before_middle - c.half;
    if (top >= job.pageHeight) break;
    out.push_back({job.marginLeft, top, g.usable_width_px, c.width});
  }
}

void AddFrames(const Context& c, std::vector<PixelRect>& out) {
  const GridJob& job = c.job;
  const SheetGeometry& g = c.geometry;
  const int64_t across = int64_t{g.cell_width_px} - g.magnet_width_px + g.gap_px;
  const int64_t down = int64_t{g.cell_height_px} - g.magnet_height_px + g.gap_px;
  for (size_t i = 0; i < c.filled.size(); ++i) {
    if (!c.filled[i]) continue;
    const int64_t row = static_cast<int64_t>(i) / job.cols;
    const int64_t col = static_cast<int64_t>(i) % job.cols;
    if (row >= job.rows) break;
    const PixelRect m = MagnetRectOf(job, g, row, col);
    // The room beside each edge: the space to the neighbour, or the page margin.
    const int64_t room_left = col > 0 ? across : m.x_px;
    const int64_t room_right = col + 1 < job.cols ? across : job.pageWidth - m.right_px();
    const int64_t room_top = row > 0 ? down : m.y_px;
    const int64_t room_bottom = row + 1 < job.rows ? down : job.pageHeight - m.bottom_px();
    // How far the frame reaches beyond an edge: a whole line outside it, or, centred on it, the line's
    // first half before the edge (left, top) and the rest after it (right, bottom), as the grid's lines.
    auto reach = [&c](int64_t room, bool after) {
      return room >= c.width ? c.width : (after ? c.width - c.half : c.half);
    };
    const int64_t x0 = m.x_px - reach(room_left, false);
    const int64_t x1 = m.right_px() + reach(room_right, true);
    const int64_t y0 = m.y_px - reach(room_top, false);
    const int64_t y1 = m.bottom_px() + reach(room_bottom, true);
    out.push_back({x0, y0, x1 - x0, c.width});
    out.push_back({x0, y1 - c.width, x1 - x0, c.width});
    out.push_back({x0, y0 + c.width, c.width, y1 - y0 - 2 * c.width});
    out.push_back({x1 - c.width, y0 + c.width, c.width, y1 - y0 - 2 * c.width});
  }
}

void AddMarks(const Context& c, std::vector<PixelRect>& out) {
  const GridJob& job = c.job;
  const SheetGeometry& g = c.geometry;
  std::set<int64_t> cut_xs;
  std::set<int64_t> cut_ys;
  bool any = false;
  for (size_t i = 0; i < c.filled.size(); ++i) {
    if (!c.filled[i]) continue;
    const int64_t row = static_cast<int64_t>(i) / job.cols;
    const int64_t col = static_cast<int64_t>(i) % job.cols;
    if (row >= job.rows) break;
    const PixelRect m = MagnetRectOf(job, g, row, col);
    cut_xs.insert({m.x_px, m.right_px()});
    cut_ys.insert({m.y_px, m.bottom_px()});
    any = true;

    // Marks across the free part of the gap below and the gap to the right of this magnet, and of the
    // gaps above and to the left when the neighbour there is empty (a filled one draws them itself).
    auto gap_marks_down = [&](int64_t upper_row) {
      if (upper_row < 0 || upper_row + 1 >= job.rows) return;
      const int64_t free_top = BleedBoxOf(job, g, upper_row, col).bottom_px();
      const int64_t free_bottom = BleedBoxOf(job, g, upper_row + 1, col).y_px;
      const int64_t inset = free_bottom - free_top >= 3 ? 1 : 0;  // clear of the photos' edge pixels
      if (free_bottom - free_top < 1) return;
      for (int64_t x : {m.x_px, m.right_px()}) out.push_back(c.Vertical(x, free_top + inset, free_bottom - inset));
    };
    auto gap_marks_across = [&](int64_t left_col) {
      if (left_col < 0 || left_col + 1 >= job.cols) return;
      const int64_t free_left = BleedBoxOf(job, g, row, left_col).right_px();
      const int64_t free_right = BleedBoxOf(job, g, row, left_col + 1).x_px;
      const int64_t inset = free_right - free_left >= 3 ? 1 : 0;
      if (free_right - free_left < 1) return;
      for (int64_t y : {m.y_px, m.bottom_px()}) out.push_back(c.Horizontal(y, free_left + inset, free_right - inset));
    };
    gap_marks_down(row);
    gap_marks_across(col);
    if (!c.Filled(row - 1, col)) gap_marks_down(row - 1);
    if (!c.Filled(row, col - 1)) gap_marks_across(col - 1);
  }
  if (!any) return;

  // Margin marks: from one line width beyond the grid's photos (bleed included; every cell, so that no
  // mark reaches into an empty one) outwards.
  const PixelRect first = BleedBoxOf(job, g, 0, 0);
  const PixelRect last = BleedBoxOf(job, g, job.rows - 1, job.cols - 1);
  const int64_t length = job.fullLengthGuides
                             ? int64_t{1} << 40
                             : std::max<int64_t>(c.width, std::llround(kMarkLengthMm * CutLineResolution(job) / 25.4));
  const int64_t top_end = first.y_px - c.width;
  const int64_t bottom_start = last.bottom_px() + c.width;
  const int64_t left_end = first.x_px - c.width;
  const int64_t right_start = last.right_px() + c.width;
  for (int64_t x : cut_xs) {
    if (top_end > 0) out.push_back(c.Vertical(x, std::max<int64_t>(0, top_end - length), top_end));
    if (bottom_start < job.pageHeight) {
      out.push_back(c.Vertical(x, bottom_start, std::min<int64_t>(job.pageHeight, bottom_start + length)));
    }
  }
  for (int64_t y : cut_ys) {
    if (left_end > 0) out.push_back(c.Horizontal(y, std::max<int64_t>(0, left_end - length), left_end));
    if (right_start < job.pageWidth) {
      out.push_back(c.Horizontal(y, right_start, std::min<int64_t>(job.pageWidth, right_start + length)));
    }
  }
}

}  // namespace

GuideStyle GuideStyleOf(const GridJob& job) {
  if (job.cutGuides == kCutGuidesLines) return GuideStyle::kLines;
  if (job.cutGuides == kCutGuidesMarks) return GuideStyle::kMarks;
  if (job.cutGuides == kCutGuidesNone) return GuideStyle::kNone;
  return job.showCutGrid ? GuideStyle::kGrid : GuideStyle::kNone;
}

std::vector<PixelRect> CutGuideRects(const GridJob& job, const SheetGeometry& geometry,
                                     const std::vector<bool>& filled) {
  std::vector<PixelRect> rects;
  const Context context{job, geometry, filled};
  switch (GuideStyleOf(job)) {
    case GuideStyle::kNone:
      break;
    case GuideStyle::kGrid:
      AddGrid(context, rects);
      break;
    case GuideStyle::kLines:
      AddFrames(context, rects);
      break;
    case GuideStyle::kMarks:
      AddMarks(context, rects);
      break;
  }
  return rects;
}

}  // namespace mosalith
