// The one log line for a photo or frame of a sheet job that cannot be used, written by both composers
// and read back by the application from the helper's output, so that the reply can name each failure.
//
//   "Mosalith: Photo 3 skipped (/home/me/a.heic): unsupported format HEIC"
//   "Mosalith: Frame 0 skipped (/home/me/gold.png): file not found"
//
// The index is the picture's position in the job's images (or frames) list, counted from 0; the reason
// is the image core's (imaging/decode.h), which never holds "): ", so a path that does can still be read.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace mosalith {

enum class PictureRole { kPhoto, kFrame };

std::string PictureFailureLine(PictureRole role, size_t index, const std::string& path, const std::string& reason);

// The same line without the helper's "Mosalith: " prefix ("Photo 3 skipped (...): ..."), for the
// application's own composer, which writes it after its own prefix.
std::string PictureFailureText(PictureRole role, size_t index, const std::string& path, const std::string& reason);

struct PictureFailure {
  PictureRole role = PictureRole::kPhoto;
  size_t index = 0;
  std::string path;
  std::string reason;
};

// The failure a line of PictureFailureLine's form names; nothing for any other line.
std::optional<PictureFailure> ParsePictureFailureLine(std::string_view line);

}  // namespace mosalith
