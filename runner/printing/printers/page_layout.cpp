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

}  // namespace runner::printing
