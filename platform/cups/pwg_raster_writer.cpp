// PwgRasterWriter: PWG raster pages through libcups's raster stream.
#include "platform/cups/pwg_raster_writer.h"

#include <cups/raster.h>

#include <cstring>
#include <vector>

namespace platform::cups {

PwgRasterWriter::PwgRasterWriter(Sink sink) : sink_(std::move(sink)) {
  raster_ = cupsRasterOpenIO(
      [](void* context, unsigned char* bytes, size_t size) -> ssize_t {
        auto* writer = static_cast<PwgRasterWriter*>(context);
        if (writer->failed_ || !writer->sink_(bytes, size)) {
          writer->failed_ = true;
          return -1;
        }
        return static_cast<ssize_t>(size);
      },
      this, CUPS_RASTER_WRITE_PWG);
}

PwgRasterWriter::~PwgRasterWriter() {
  if (raster_) cupsRasterClose(raster_);
}

bool PwgRasterWriter::WritePage(const imaging::Bitmap& page, const std::string& media, int64_t width_hundredths_mm,
                                int64_t length_hundredths_mm, int dpi, bool grey) {
  if (raster_ == nullptr || failed_ || page.empty()) return false;
  std::vector<char> name(media.begin(), media.end());
  name.push_back('\0');
  pwg_media_t size{};
  size.pwg = name.data();
  size.width = static_cast<int>(width_hundredths_mm);
  size.length = static_cast<int>(length_hundredths_mm);
  cups_page_header2_t header;
  if (!cupsRasterInitPWGHeader(&header, &size, grey ? "sgray_8" : "srgb_8", dpi, dpi, "one-sided", nullptr)) {
    return false;
  }
  // The page's own pixels decide the raster's size (they come from the same sheet at the same dpi).
  header.cupsWidth = static_cast<unsigned>(page.width_px);
  header.cupsHeight = static_cast<unsigned>(page.height_px);
  header.cupsBytesPerLine = header.cupsWidth * (grey ? 1 : 3);
  std::vector<unsigned char> row(header.cupsBytesPerLine);
  if (!cupsRasterWriteHeader2(raster_, &header)) return false;
  for (int y = 0; y < page.height_px; ++y) {
    const uint8_t* in = page.pixel(0, y);
    for (int x = 0; x < page.width_px; ++x, in += 4) {
      if (grey) {
        row[x] = static_cast<unsigned char>((in[0] * 299 + in[1] * 587 + in[2] * 114 + 500) / 1000);
      } else {
        std::memcpy(&row[static_cast<size_t>(x) * 3], in, 3);
      }
    }
    if (cupsRasterWritePixels(raster_, row.data(), header.cupsBytesPerLine) != header.cupsBytesPerLine) return false;
  }
  return !failed_;
}

}  // namespace platform::cups
