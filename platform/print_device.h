// PrintDevice: one print job as pages of pictures, with the page geometry of the chosen paper.
//
// Geometry is in device pixels at the device's resolution; the printable area's origin is its top-left
// corner. A job runs StartDoc, then StartPage / DrawPicture / EndPage per page, then EndDoc or AbortDoc.
// A call that fails says why in its status: kCancelled when the user (or an operator) cancelled the job,
// another kind when the device or its connection failed. The system's number for the failure rides in
// the status (`system_error()`) for the log lines that print it.
// Thread safety: one thread at a time per device; devices are independent of each other.
#pragma once

#include <string>

#include "base/status.h"
#include "imaging/bitmap.h"
#include "platform/graphics.h"

namespace platform {

struct DeviceGeometry {
  int dpi_x = 0;
  int dpi_y = 0;
  int printable_width_px = 0;   // the drawable area
  int printable_height_px = 0;
  int printable_width_mm = 0;
  int printable_height_mm = 0;
  int physical_width_px = 0;    // the whole sheet
  int physical_height_px = 0;
  int offset_x_px = 0;          // of the printable area on the sheet
  int offset_y_px = 0;
  std::string paper_name = {};  // the paper the device prints on, as the printer names it (for log lines)
  std::string document_format = {};  // how the pages are sent (a MIME type, for log lines); empty: not sent
};

// A picture for one page: decoded pixels, or a JPEG file placed as it is stored (no decoding, no
// re-encoding) when the device can carry its bytes as they are. width_px / height_px are the picture's
// stored size. The picture is turned upright by `orientation` first, then by the quarter turn.
struct PagePicture {
  const imaging::Bitmap* bitmap = nullptr;  // when set, drawn with opaque white behind transparent pixels
  std::string jpeg_path;           // used when `bitmap` is null
  int width_px = 0;
  int height_px = 0;
  int orientation = 1;             // EXIF orientation of the stored pixels, 1..8 (others count as 1)
  bool turn_clockwise = false;     // turned a quarter clockwise before it is placed
};

// Where a point (x, y) of the stored picture (origin top-left, [0, width_px] x [0, height_px]) lands in
// the picture as it is placed, before it is scaled into its rectangle: x' = xx x + xy y + x0,
// y' = yx x + yy y + y0, with the placed picture shown_width x shown_height stored pixels. The same
// mapping as ApplyOrientation followed by RotateClockwise, for devices that place pixels by a transform.
struct PictureTransform {
  double xx = 1, xy = 0, x0 = 0;
  double yx = 0, yy = 1, y0 = 0;
  double shown_width = 0;
  double shown_height = 0;
};
PictureTransform PlacedPictureTransform(const PagePicture& picture);

enum class DrawResult {
  kDrawn,
  kNeedsPixels,
  kFailed,
};

class PrintDevice {
 public:
  virtual ~PrintDevice() = default;

  virtual DeviceGeometry Geometry() const = 0;

  // Starts the job named `document_name`. Returns the job number (> 0), or why the job could not start.
  virtual base::StatusOr<int> StartDoc(const std::string& document_name) = 0;

  // Ok when a page was begun; kCancelled when the job was cancelled from outside.
  virtual base::Status StartPage() = 0;

  // Places `picture` (after its turn) into `dest`, printable-area pixels. kNeedsPixels: a JPEG file the
  // device cannot carry as stored (it would print blank or wrong); nothing was drawn, the caller draws
  // the decoded pixels instead. kFailed: it could not be drawn; the page stays as it was and can still
  // be ended.
  virtual DrawResult DrawPicture(const PagePicture& picture, const RectF& dest) = 0;

  // Ok when the page was handed over; kCancelled when the job was cancelled from outside.
  virtual base::Status EndPage() = 0;

  // Ends the job. A job without an ended page prints nothing (it is cancelled, no blank sheet).
  // Ok when every ended page was handed over; kCancelled when the job was cancelled from outside.
  virtual base::Status EndDoc() = 0;

  // Cancels the job; what was sent is dropped.
  virtual void AbortDoc() = 0;
};

}  // namespace platform
