// Sheet geometry: usable area, cells, magnets, the layout checks and the cut line parameters.
#include "helper/sheet_geometry.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "helper/page_budget.h"

namespace mosalith {

MagnetShape MagnetShapeOf(int32_t magnet_width_px, int32_t magnet_height_px) {
  return MagnetShape{magnet_width_px < magnet_height_px, magnet_height_px < magnet_width_px};
}

std::optional<SheetGeometry> ComputeSheetGeometry(const GridJob& job, std::string& problem, MagnetSizing sizing) {
  if (job.rows < 1 || job.cols < 1) {
    problem = "Invalid grid " + std::to_string(job.rows) + "x" + std::to_string(job.cols) +
              ": rows and cols must be at least 1";
    return std::nullopt;
  }
  if (!PageWithinBudget(job.pageWidth, job.pageHeight)) {
    problem = InvalidPageSizeText(job.pageWidth, job.pageHeight);
    return std::nullopt;
  }
  if (job.gapPx < 0 || job.bleedPx < 0 || job.gapPx > kMaxSpacingPx || job.bleedPx > kMaxSpacingPx) {
    problem = "Invalid gap " + std::to_string(job.gapPx) + " or bleed " + std::to_string(job.bleedPx) +
              ": both must be 0 to " + std::to_string(kMaxSpacingPx) + " pixels";
    return std::nullopt;
  }
  const int64_t usable_width = int64_t{job.pageWidth} - job.marginRight - job.marginLeft;
  const int64_t usable_height = int64_t{job.pageHeight} - job.marginBottom - job.marginTop;
  constexpr int64_t kMax = std::numeric_limits<int32_t>::max();
  // The gaps between cells come out of the usable area first.
  const int64_t gaps_across = int64_t{job.gapPx} * (job.cols - 1);
  const int64_t gaps_down = int64_t{job.gapPx} * (job.rows - 1);
  if (usable_width - gaps_across < job.cols || usable_height - gaps_down < job.rows || usable_width > kMax ||
      usable_height > kMax) {
    problem = "Usable area " + std::to_string(usable_width) + "x" + std::to_string(usable_height) +
              " does not fit a " + std::to_string(job.rows) + "x" + std::to_string(job.cols) +
              " grid of cells at least 1 pixel in size";
    if (job.gapPx > 0) problem += " with gaps of " + std::to_string(job.gapPx) + " pixels";
    return std::nullopt;
  }

  SheetGeometry geometry;
  geometry.usable_width_px = static_cast<int32_t>(usable_width);
  geometry.usable_height_px = static_cast<int32_t>(usable_height);
  geometry.cell_width_px = static_cast<int32_t>((usable_width - gaps_across) / job.cols);
  geometry.cell_height_px = static_cast<int32_t>((usable_height - gaps_down) / job.rows);
  geometry.gap_px = job.gapPx;
  geometry.bleed_px = job.bleedPx;
  geometry.magnet_width_px = geometry.cell_width_px;
  geometry.magnet_height_px = geometry.cell_height_px;
  const double aspect = sizing == MagnetSizing::kAspectRatio ? job.magnetAspectRatio : 0.0;
  if (aspect > 0) {
    // Both results stay within the cell: a x CH < CW in the first branch, CW / a <= CH in the second.
    if (aspect < static_cast<double>(geometry.cell_width_px) / geometry.cell_height_px) {
      geometry.magnet_width_px = static_cast<int32_t>(aspect * geometry.cell_height_px);
    } else {
      geometry.magnet_height_px = static_cast<int32_t>(geometry.cell_width_px / aspect);
    }
  }
  if (geometry.magnet_width_px < 1 || geometry.magnet_height_px < 1) {
    problem = "Magnet size " + std::to_string(geometry.magnet_width_px) + "x" +
              std::to_string(geometry.magnet_height_px) + " is empty";
    return std::nullopt;
  }
  geometry.magnet_shape = MagnetShapeOf(geometry.magnet_width_px, geometry.magnet_height_px);
  geometry.cells_per_sheet = int64_t{job.rows} * job.cols;
  return geometry;
}

CellOrigin CellOriginOf(const GridJob& job, const SheetGeometry& geometry, int64_t row, int64_t col) {
  return {job.marginLeft + (int64_t{geometry.cell_width_px} + geometry.gap_px) * col,
          job.marginTop + (int64_t{geometry.cell_height_px} + geometry.gap_px) * row};
}

PixelRect MagnetRectOf(const GridJob& job, const SheetGeometry& geometry, int64_t row, int64_t col) {
  const CellOrigin origin = CellOriginOf(job, geometry, row, col);
  return {origin.x_px, origin.y_px, geometry.magnet_width_px, geometry.magnet_height_px};
}

PixelRect BleedBoxOf(const GridJob& job, const SheetGeometry& geometry, int64_t row, int64_t col) {
  const PixelRect magnet = MagnetRectOf(job, geometry, row, col);
  const int64_t bleed = geometry.bleed_px;
  if (bleed == 0) return magnet;
  // The space between this magnet and its neighbour's: the gap, and the part of the cell the magnet
  // leaves free when it is narrower or shorter than its cell.
  const int64_t across = int64_t{geometry.cell_width_px} - geometry.magnet_width_px + geometry.gap_px;
  const int64_t down = int64_t{geometry.cell_height_px} - geometry.magnet_height_px + geometry.gap_px;
  const int64_t left = col > 0 ? std::min(bleed, across / 2) : bleed;
  const int64_t right = col + 1 < job.cols ? std::min(bleed, across / 2) : bleed;
  const int64_t top = row > 0 ? std::min(bleed, down / 2) : bleed;
  const int64_t bottom = row + 1 < job.rows ? std::min(bleed, down / 2) : bleed;
  return {magnet.x_px - left, magnet.y_px - top, magnet.width_px + left + right, magnet.height_px + top + bottom};
}

double CutLineResolution(const GridJob& job) {
  if (job.dpi > 0) return job.dpi;
  return job.pageHeight <= 2400 ? 300.0 : 450.0;
}

int SheetDensityDpi(const GridJob& job) {
  if (!job.sheetDensity) return 0;
  return static_cast<int>(std::lround(std::clamp(CutLineResolution(job), 1.0, 65535.0)));
}

int32_t CutLineWidthPx(const GridJob& job) {
  constexpr double kInchesPerMm = 0.03937007874015748;
  constexpr int32_t kMinWidthPx = 3;
  const double width = CutLineResolution(job) * job.cutGridWidthMm * kInchesPerMm;
  if (!(width < std::numeric_limits<int32_t>::max())) return std::numeric_limits<int32_t>::max();
  if (width < kMinWidthPx) return kMinWidthPx;
  return static_cast<int32_t>(width);
}

int SheetJpegQuality(int32_t requested) {
  if (requested == 0) return 90;
  return std::clamp<int32_t>(requested, 1, 100);
}

Rgb CutLineColor(const std::string& name) {
  if (name == "black") return {0, 0, 0};
  if (name == "white") return {255, 255, 255};
  if (name == "gray" || name == "grey") return {145, 145, 145};
  if (name == "lightGray" || name == "lightGrey") return {191, 191, 191};
  return {98, 98, 98};
}

}  // namespace mosalith
