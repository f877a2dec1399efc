// PageRaster: a page drawn into pixels with cairo, for print devices that take each page as a picture
// (one JPEG per page, PWG raster) rather than as PDF.
//
// The page is white paper the size of the geometry's physical page at its resolution; pictures are placed
// in printable-area pixels of that geometry as PdfPages places them (upright, turned, scaled with a good
// filter, white behind transparent pixels), from decoded pixels only: a JPEG file is refused as needing its
// pixels. The page's pixels come from `budget` and are held once, for every page of a job.
// Thread safety: one thread at a time per object.
#pragma once

#include <memory>

#include "imaging/memory_budget.h"
#include "platform/print_device.h"

namespace platform {

class PageRaster {
 public:
  // Null when the page's pixels cannot be had (outside the picture limits, or refused by the budget).
  static std::unique_ptr<PageRaster> Create(const DeviceGeometry& geometry, imaging::MemoryBudget* budget);
  ~PageRaster();
  PageRaster(const PageRaster&) = delete;
  PageRaster& operator=(const PageRaster&) = delete;

  // As PrintDevice::DrawPicture.
  DrawResult DrawPicture(const PagePicture& picture, const RectF& dest);

  // The page as drawn, 8-bit RGBA, opaque; valid until the next call. The next picture drawn starts a new
  // white page. Null when cairo failed.
  const imaging::Bitmap* Page();

 private:
  struct State;
  explicit PageRaster(std::unique_ptr<State> state);
  std::unique_ptr<State> state_;
};

}  // namespace platform
