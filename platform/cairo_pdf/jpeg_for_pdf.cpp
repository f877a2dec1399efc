// The marker walk up to the frame header, as strict as cairo's, with fill bytes taken out.
#include "platform/cairo_pdf/jpeg_for_pdf.h"

#include <optional>

#include "imaging/header/jpeg_segments.h"

namespace platform {
namespace {

JpegForPdf Refused(std::string reason) { return JpegForPdf{false, std::move(reason)}; }

// What cairo needs of the frame header: its payload is precision, height, width, component count.
std::optional<std::string> FrameProblem(uint8_t marker, const uint8_t* payload, uint32_t length, int width_px,
                                        int height_px) {
  if (marker > 0xC2) return "a lossless, hierarchical or arithmetic-coded frame";
  if (length < 6) return "a frame header cut short";
  const int precision = payload[0];
  const int height = payload[1] << 8 | payload[2];
  const int width = payload[3] << 8 | payload[4];
  const int components = payload[5];
  if (precision != 8) return "samples of " + std::to_string(precision) + " bits";
  if (width != width_px || height != height_px) return "a frame size other than the picture's";
  if (components == 4) return "CMYK colour";
  if (components != 1 && components != 3) return std::to_string(components) + " colour components";
  return std::nullopt;
}

}  // namespace

JpegForPdf PrepareJpegForPdf(std::vector<uint8_t>* bytes, int width_px, int height_px) {
  const std::vector<uint8_t>& in = *bytes;
  const size_t size = in.size();
  if (size < 4 || in[0] != 0xFF || in[1] != 0xD8) return Refused("not a JPEG file");

  // The header as cairo should see it: every segment, and every stand-alone marker, with one 0xFF each.
  std::vector<uint8_t> out = {0xFF, 0xD8};
  bool fill_removed = false;
  uint64_t next = 2;  // where the last whole segment ended
  std::optional<JpegForPdf> result;
  const imaging::JpegWalkEnd end = imaging::WalkJpegSegments(
      imaging::ReadFromMemory(in.data(), size), imaging::JpegWalk::kHeader, [&](const imaging::JpegSegment& s) {
        const uint64_t marker_at = s.payload_offset - 3;
        // Between segments the walk passes only 0xFF runs and stand-alone marker codes.
        for (uint64_t at = next; at < marker_at; ++at) {
          if (in[at] == 0xD8) {
            result = Refused("no frame header before the image data");
            return false;
          }
          if (in[at] == 0xFF && in[at + 1] == 0xFF) {  // a fill byte; the marker code ends the run
            fill_removed = true;
            continue;
          }
          out.push_back(in[at]);
        }
        if (s.payload_length > size - s.payload_offset) {
          result = Refused("a segment cut short");
          return false;
        }
        if (imaging::IsStartOfFrame(s.marker)) {
          if (auto problem = FrameProblem(s.marker, in.data() + s.payload_offset, s.payload_length, width_px,
                                          height_px)) {
            result = Refused(std::move(*problem));
            return false;
          }
          if (fill_removed) {
            out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(marker_at), in.end());
            *bytes = std::move(out);
          }
          result = JpegForPdf{true, {}};
          return false;
        }
        out.insert(out.end(), in.begin() + static_cast<std::ptrdiff_t>(marker_at),
                   in.begin() + static_cast<std::ptrdiff_t>(s.payload_offset + s.payload_length));
        next = s.payload_offset + s.payload_length;
        return true;
      });
  if (result) return *result;
  switch (end) {
    case imaging::JpegWalkEnd::kNotAMarker:
      return Refused("bytes that are not a marker before the frame header");
    case imaging::JpegWalkEnd::kStartOfScan:
    case imaging::JpegWalkEnd::kEndOfImage:
      return Refused("no frame header before the image data");
    case imaging::JpegWalkEnd::kEndOfData:
      // Only fill bytes after the last whole segment, or a segment begun and cut off.
      for (uint64_t at = next; at < size; ++at) {
        if (in[at] != 0xFF) return Refused("a segment cut short");
      }
      return Refused("no frame header");
    default:
      return Refused("a segment cut short");
  }
}

}  // namespace platform
