// PdfPages: PDF pages drawn with cairo and streamed out page by page, for the page devices (the CUPS
// device uploads them, the built-in printer writes them to a file).
//
// Coordinates given to DrawPicture are device pixels of the printable area at the device's resolution;
// the page is sized in points. Bitmaps are drawn with opaque white behind transparent pixels; JPEG files
// that cairo takes as they are (platform/cairo_pdf/jpeg_for_pdf.h) are embedded as stored (cairo's JPEG
// MIME data), never decoded or re-encoded; the others are refused as needing their pixels. cairo writes each page's
// bytes when the page is shown, so the sink receives the document in pieces as it grows.
// Thread safety: one thread at a time per object.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "platform/print_device.h"

namespace platform {

class PdfPages {
 public:
  // Receives the document's bytes in order; false stops the document (later calls fail).
  using Sink = std::function<bool(const uint8_t* bytes, size_t size)>;

  // A document whose pages are page_width_pt x page_height_pt, whose printable area starts at
  // (offset_x_px, offset_y_px) device pixels of dpi_x x dpi_y. Null when cairo cannot make it.
  static std::unique_ptr<PdfPages> Create(double page_width_pt, double page_height_pt, const DeviceGeometry& geometry,
                                          Sink sink);
  ~PdfPages();
  PdfPages(const PdfPages&) = delete;
  PdfPages& operator=(const PdfPages&) = delete;

  // Places `picture` into `dest` (printable-area pixels) on the current page, as PrintDevice::DrawPicture
  // says.
  DrawResult DrawPicture(const PagePicture& picture, const RectF& dest);

  // Ends the current page, written `copies` times in a row (its bytes go to the sink). False when cairo
  // or the sink failed.
  bool ShowPage(int copies = 1);

  // Ends the document (the rest of its bytes go to the sink). False when cairo or the sink failed.
  // Note: a document without a shown page still holds one blank page; callers never finish those.
  bool Finish();

 private:
  struct State;
  explicit PdfPages(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace platform
