// The marker walk up to the frame header, as strict as cairo's, with fill bytes taken out.
#include "platform/cairo_pdf/jpeg_for_pdf.h"

#include "imaging/header/jpeg_segments.h"

namespace platform {
namespace {

JpegForPdf Refused(std::string reason) { return JpegForPdf{false, std::move(reason)}; }

}  // namespace

JpegForPdf PrepareJpegForPdf(std::vector<uint8_t>* bytes, int width_px, int height_px) {
  const std::vector<uint8_t>& in = *bytes;
  const size_t size = in.size();
  if (size < 4 || in[0] != 0xFF || in[1] != 0xD8) return Refused("not a JPEG file");
  std::vector<uint8_t> out = {0xFF, 0xD8};
  bool fill_removed = false;
  size_t i = 2;
  for (;;) {
    if (i >= size || in[i] != 0xFF) return Refused("bytes that are not a marker before the frame header");
    ++i;
    while (i < size && in[i] == 0xFF) {
      ++i;
      fill_removed = true;
    }
    if (i >= size) return Refused("no frame header");
    const uint8_t marker = in[i++];
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {  // stand-alone markers
      out.insert(out.end(), {0xFF, marker});
      continue;
    }
    if (marker == 0x00 || marker == 0xD8 || marker == 0xD9 || marker == 0xDA) {
      return Refused("no frame header before the image data");
    }
    if (i + 2 > size) return Refused("a segment cut short");
    const size_t length = static_cast<size_t>(in[i] << 8 | in[i + 1]);
    if (length < 2 || length > size - i) return Refused("a segment cut short");
    if (imaging::IsStartOfFrame(marker)) {
      if (marker > 0xC2) return Refused("a lossless, hierarchical or arithmetic-coded frame");
      if (length < 8) return Refused("a frame header cut short");
      const int precision = in[i + 2];
      const int height = in[i + 3] << 8 | in[i + 4];
      const int width = in[i + 5] << 8 | in[i + 6];
      const int components = in[i + 7];
      if (precision != 8) return Refused("samples of " + std::to_string(precision) + " bits");
      if (width != width_px || height != height_px) return Refused("a frame size other than the picture's");
      if (components == 4) return Refused("CMYK colour");
      if (components != 1 && components != 3) return Refused(std::to_string(components) + " colour components");
      if (fill_removed) {
        out.insert(out.end(), {0xFF, marker});
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i), in.end());
        *bytes = std::move(out);
      }
      return JpegForPdf{true, {}};
    }
    out.insert(out.end(), {0xFF, marker});
    out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(i), in.begin() + static_cast<std::ptrdiff_t>(i + length));
    i += length;
  }
}

}  // namespace platform
