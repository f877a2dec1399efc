// PwgRasterWriter: pages as one PWG raster document (the raster format every driverless printer may
// take), written through libcups as they come. Internal to platform/cups/.
// Thread safety: one thread at a time per writer.
#pragma once

#include <cups/raster.h>

#include <cstdint>
#include <functional>
#include <string>

#include "imaging/bitmap.h"

namespace platform::cups {

class PwgRasterWriter {
 public:
  // Receives the document's bytes in order; false stops the document (later pages fail).
  using Sink = std::function<bool(const uint8_t* bytes, size_t size)>;

  explicit PwgRasterWriter(Sink sink);
  ~PwgRasterWriter();  // ends the document (its last bytes go to the sink)
  PwgRasterWriter(const PwgRasterWriter&) = delete;
  PwgRasterWriter& operator=(const PwgRasterWriter&) = delete;

  // Writes `page` (RGBA, opaque) as one page of `media` (its PWG name and size in hundredths of a
  // millimetre) at `dpi`: 8-bit sRGB, or 8-bit grey when `grey`. False when libcups or the sink failed.
  bool WritePage(const imaging::Bitmap& page, const std::string& media, int64_t width_hundredths_mm,
                 int64_t length_hundredths_mm, int dpi, bool grey);

 private:
  Sink sink_;
  bool failed_ = false;
  cups_raster_t* raster_ = nullptr;
};

}  // namespace platform::cups
