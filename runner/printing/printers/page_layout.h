// Page layout of one picture on a print page: turned to the page's orientation, then placed at its
// physical size or fitted into the printable area without distortion, centred.
//
// A picture counts as upright when its height is at least its width, and so does the printable area;
// when they differ the picture is turned a quarter clockwise. The fit is computed in single precision:
// scale = min(PW / W, PH / H), destination sides truncated toward zero, offsets (P - D) / 2 truncated.
// The physical size comes from the resolution the picture's file states: a side of N pixels at R dots per
// inch covers N / R inches, N / R x device dpi device pixels (in double precision, not rounded, so that a
// magnet prints at exactly the size it was designed at).
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

// Stated resolutions above this are not believed for placing a picture at its physical size: no printer
// prints that finely, and a picture placed so would come out as a speck (a damaged or hostile header).
inline constexpr double kMaxTrueSizeDpi = 10000;

struct TrueSizePlacement {
  bool turned = false;
  int width_px = 0;  // the picture's sides after the turn
  int height_px = 0;
  double dpi_x = 0;  // the picture's resolution across and down after the turn
  double dpi_y = 0;
  double scale_x = 0;  // device pixels per picture pixel
  double scale_y = 0;
  double dest_width_px = 0;
  double dest_height_px = 0;
  double offset_x_px = 0;  // from the printable area's top-left corner
  double offset_y_px = 0;
  // The physical size fits the printable area. A side may exceed it by up to one device pixel, which the
  // printable area loses when it is counted in whole pixels; the placement then reaches into the margin by
  // half a pixel at most.
  bool fits = false;
};

// The picture at its physical size, turned as FitToPrintableArea turns it and centred. Sizes and
// resolutions must be positive.
TrueSizePlacement PlaceAtTrueSize(int image_width_px, int image_height_px, double image_dpi_x, double image_dpi_y,
                                  int printable_width_px, int printable_height_px, int device_dpi_x, int device_dpi_y);

}  // namespace runner::printing
