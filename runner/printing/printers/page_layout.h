// Page layout of one picture on a print page: turned to the page's orientation, fitted into the
// printable area without distortion, centred.
//
// A picture counts as upright when its height is at least its width, and so does the printable area;
// when they differ the picture is turned a quarter clockwise. The fit is computed in single precision:
// scale = min(PW / W, PH / H), destination sides truncated toward zero, offsets (P - D) / 2 truncated.
// Pure functions, thread-safe.
#pragma once

namespace runner::printing {

struct PageFit {
  bool turned = false;
  int width_px = 0;   // the picture's sides after the turn
  int height_px = 0;
  float scale_x = 0;
  float scale_y = 0;
  float scale = 0;
  int dest_width_px = 0;
  int dest_height_px = 0;
  int offset_x_px = 0;  // from the printable area's top-left corner
  int offset_y_px = 0;
};

// All sizes must be positive.
PageFit FitToPrintableArea(int image_width_px, int image_height_px, int printable_width_px, int printable_height_px);

}  // namespace runner::printing
