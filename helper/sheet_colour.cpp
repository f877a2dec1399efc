// The sheets' colour: output space, conversions, the profile's segments.
#include "helper/sheet_colour.h"

#include "helper/file_open.h"
#include "helper/log.h"
#include "imaging/colour/jpeg_icc.h"

namespace mosalith {

SheetColour SheetColourOf(const GridJob& job) {
  const imaging::colour::ProfileFileReader read =
      [](const std::string& path) -> base::StatusOr<std::vector<uint8_t>> {
    std::vector<uint8_t> bytes;
    if (!ReadWholeFile(path, bytes, static_cast<int64_t>(imaging::colour::kMaxProfileBytes))) {
      return base::Status::IoError("cannot be read");
    }
    return bytes;
  };
  SheetColour colour;
  colour.output = imaging::colour::ResolveOutputSpace(imaging::colour::OutputChoiceFromJobValue(job.colorProfile), read);
  if (!colour.output.fallback_note.empty()) LogLine("Mosalith: " + colour.output.fallback_note);
  if (colour.output.profile) {
    colour.icc_segments = imaging::colour::IccSegments(colour.output.profile->icc());
    colour.transforms = std::make_unique<imaging::colour::ColourTransforms>(8);
  }
  return colour;
}

void ConvertToSheet(imaging::Bitmap& pixels, const imaging::ColourDescription& source, const SheetColour& colour,
                    const std::string& path) {
  if (!colour.output.profile || !colour.transforms || pixels.empty()) return;
  const imaging::colour::ConversionRef conversion = colour.transforms->For(source, colour.output.profile);
  if (!conversion->source_note().empty()) LogLine("Mosalith: " + path + ": " + conversion->source_note());
  conversion->Apply(pixels.rgba.data(), pixels.rgba.size() / 4);
}

Rgb SheetRgb(Rgb colour, const SheetColour& sheet) {
  if (!sheet.output.profile || !sheet.transforms) return colour;
  const uint32_t argb = 0xFF000000u | (uint32_t{colour.r} << 16) | (uint32_t{colour.g} << 8) | colour.b;
  const uint32_t converted =
      sheet.transforms->Between(imaging::colour::SrgbProfile(), sheet.output.profile)->ApplyArgb(argb);
  return Rgb{static_cast<uint8_t>(converted >> 16), static_cast<uint8_t>(converted >> 8),
             static_cast<uint8_t>(converted)};
}

}  // namespace mosalith
