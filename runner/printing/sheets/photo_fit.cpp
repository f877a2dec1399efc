// The in-process composer's photo fits: inside the cell, or covering the magnet and its bleed.
#include "runner/printing/sheets/photo_fit.h"

#include <algorithm>

#include "helper/crop_focus.h"

namespace runner::printing {

PhotoFit FitPhotoInCell(const mosalith::SheetGeometry& layout, int32_t width_px, int32_t height_px) {
  PhotoFit fit;
  if (width_px < 1 || height_px < 1) return fit;
  const mosalith::MagnetShape cell = layout.magnet_shape;  // the magnet is the whole cell
  fit.rotate = (cell.landscape && width_px < height_px) || (cell.portrait && height_px < width_px);
  const double a = fit.rotate ? width_px : height_px;  // the side that ends up vertical
  const double b = fit.rotate ? height_px : width_px;
  const double s = std::min(layout.cell_height_px / a, layout.cell_width_px / b);
  // Within the cell by construction, so the truncations fit int32.
  fit.scaled_width_px = static_cast<int32_t>(s * width_px);
  fit.scaled_height_px = static_cast<int32_t>(s * height_px);
  const int32_t w = fit.rotate ? fit.scaled_height_px : fit.scaled_width_px;
  const int32_t h = fit.rotate ? fit.scaled_width_px : fit.scaled_height_px;
  fit.offset_x_px = std::max(0, (layout.cell_width_px - w) / 2);
  fit.offset_y_px = std::max(0, (layout.cell_height_px - h) / 2);
  fit.source_x_px = std::max(0, (w - layout.cell_width_px) / 2);
  fit.source_y_px = std::max(0, (h - layout.cell_height_px) / 2);
  fit.drawn_width_px = std::min(layout.cell_width_px - fit.offset_x_px, w - fit.source_x_px);
  fit.drawn_height_px = std::min(layout.cell_height_px - fit.offset_y_px, h - fit.source_y_px);
  return fit;
}

bool PhotoCoversMagnet(const mosalith::GridJob& request) {
  return request.bleedPx > 0 || request.faceAwareCrop || !request.rotateToFit;
}

PhotoFit CoverPhotoInCell(const mosalith::GridJob& request, const mosalith::SheetGeometry& layout, int32_t width_px,
                          int32_t height_px, const std::vector<mosalith::FaceArea>* faces) {
  PhotoFit fit;
  if (width_px < 1 || height_px < 1) return fit;
  const mosalith::MagnetShape cell = layout.magnet_shape;
  fit.rotate = request.rotateToFit &&
               ((cell.landscape && width_px < height_px) || (cell.portrait && height_px < width_px));
  const int32_t bled_width = layout.cell_width_px + 2 * layout.bleed_px;
  const int32_t bled_height = layout.cell_height_px + 2 * layout.bleed_px;
  // The cover size of the bled magnet, as the helper computes it, measured on the photo as it lies.
  const int32_t lying_width = fit.rotate ? height_px : width_px;
  const int32_t lying_height = fit.rotate ? width_px : height_px;
  const double s = std::max(static_cast<double>(bled_width) / lying_width, static_cast<double>(bled_height) / lying_height);
  if (!(s * lying_width < double{1 << 30}) || !(s * lying_height < double{1 << 30})) return PhotoFit{};
  const int32_t cover_width = std::max(static_cast<int32_t>(s * lying_width), bled_width);
  const int32_t cover_height = std::max(static_cast<int32_t>(s * lying_height), bled_height);
  fit.scaled_width_px = fit.rotate ? cover_height : cover_width;
  fit.scaled_height_px = fit.rotate ? cover_width : cover_height;
  const mosalith::CropWindow window = mosalith::CropWindowFor(
      cover_width, cover_height, bled_width, bled_height, layout.bleed_px,
      faces != nullptr ? *faces : std::vector<mosalith::FaceArea>(), fit.rotate);
  fit.source_x_px = window.left_px;
  fit.source_y_px = window.top_px;
  fit.drawn_width_px = bled_width;
  fit.drawn_height_px = bled_height;
  fit.offset_x_px = -layout.bleed_px;
  fit.offset_y_px = -layout.bleed_px;
  return fit;
}

}  // namespace runner::printing
