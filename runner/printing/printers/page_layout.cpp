// Page layout: turn, fit, centre.
#include "runner/printing/printers/page_layout.h"

#include <cstdint>

namespace runner::printing {

PageFit FitToPrintableArea(int image_width_px, int image_height_px, int printable_width_px, int printable_height_px) {
  PageFit fit;
  const bool image_upright = image_height_px >= image_width_px;
  const bool area_upright = printable_height_px >= printable_width_px;
  fit.turned = image_upright != area_upright;
  fit.width_px = fit.turned ? image_height_px : image_width_px;
  fit.height_px = fit.turned ? image_width_px : image_height_px;
  fit.scale_x = static_cast<float>(printable_width_px) / static_cast<float>(fit.width_px);
  fit.scale_y = static_cast<float>(printable_height_px) / static_cast<float>(fit.height_px);
  fit.scale = fit.scale_x < fit.scale_y ? fit.scale_x : fit.scale_y;
  fit.dest_width_px = static_cast<int>(fit.scale * static_cast<float>(fit.width_px));
  fit.dest_height_px = static_cast<int>(fit.scale * static_cast<float>(fit.height_px));
  fit.offset_x_px = static_cast<int>((int64_t{printable_width_px} - fit.dest_width_px) / 2);
  fit.offset_y_px = static_cast<int>((int64_t{printable_height_px} - fit.dest_height_px) / 2);
  return fit;
}

TrueSizePlacement PlaceAtTrueSize(int image_width_px, int image_height_px, double image_dpi_x, double image_dpi_y,
                                  int printable_width_px, int printable_height_px, int device_dpi_x, int device_dpi_y) {
  TrueSizePlacement place;
  place.turned = (image_height_px >= image_width_px) != (printable_height_px >= printable_width_px);
  place.width_px = place.turned ? image_height_px : image_width_px;
  place.height_px = place.turned ? image_width_px : image_height_px;
  place.dpi_x = place.turned ? image_dpi_y : image_dpi_x;
  place.dpi_y = place.turned ? image_dpi_x : image_dpi_y;
  place.scale_x = device_dpi_x / place.dpi_x;
  place.scale_y = device_dpi_y / place.dpi_y;
  place.dest_width_px = place.width_px * place.scale_x;
  place.dest_height_px = place.height_px * place.scale_y;
  place.offset_x_px = (printable_width_px - place.dest_width_px) / 2;
  place.offset_y_px = (printable_height_px - place.dest_height_px) / 2;
  place.fits = place.dest_width_px <= printable_width_px + 1.0 && place.dest_height_px <= printable_height_px + 1.0;
  return place;
}

}  // namespace runner::printing
