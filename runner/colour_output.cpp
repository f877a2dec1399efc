// The colour-profile selection put to work in the application.
#include "runner/colour_output.h"

#include <optional>

#include "imaging/colour/jpeg_icc.h"
#include "platform/file_system.h"
#include "runner/log.h"

namespace runner {

using imaging::colour::OutputSpace;

std::string ColourJobValue(std::string_view selection) {
  return imaging::colour::OutputJobValue(imaging::colour::OutputChoiceFromSelection(selection));
}

OutputSpace OutputSpaceOf(const imaging::colour::OutputChoice& choice, platform::FileSystem* files) {
  const imaging::colour::ProfileFileReader read =
      [files](const std::string& path) -> base::StatusOr<std::vector<uint8_t>> {
    if (files == nullptr) return base::Status::IoError("no file access");
    return files->ReadFile(path, imaging::colour::kMaxProfileBytes);
  };
  OutputSpace space = imaging::colour::ResolveOutputSpace(choice, read);
  if (!space.fallback_note.empty()) LogLine("ERROR: " + space.fallback_note);
  return space;
}

void ConvertPicture(imaging::Bitmap& picture, const imaging::ColourDescription& source, const OutputSpace& output,
                    imaging::colour::ColourTransforms& transforms, std::string_view what) {
  if (!output.profile || picture.empty()) return;
  const imaging::colour::ConversionRef conversion = transforms.For(source, output.profile);
  if (!conversion->source_note().empty()) LogLine("INFO: " + std::string(what) + ": " + conversion->source_note());
  conversion->Apply(picture.rgba.data(), picture.rgba.size() / 4);
}

uint32_t OutputColour(uint32_t argb, const OutputSpace& output, imaging::colour::ColourTransforms& transforms) {
  if (!output.profile) return argb;
  return transforms.Between(imaging::colour::SrgbProfile(), output.profile)->ApplyArgb(argb);
}

void CarryProfile(std::vector<uint8_t>* jpeg, const OutputSpace& output) {
  if (output.profile) imaging::colour::EmbedIccProfile(jpeg, output.profile->icc());
}

}  // namespace runner
