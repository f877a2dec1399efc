// OpenPicture: a picture file opened and its header read by the one picture reader, with failures as the
// Graphics port's statuses; shared by the Graphics adapters of both platforms (PictureFile has a POSIX
// and a Windows implementation).
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "platform/graphics.h"
#include "platform/posix/picture_file.h"

namespace platform {

// Files above this size are not read as pictures (a 200-megapixel JPEG is far smaller).
inline constexpr size_t kMaxPictureFileBytes = size_t{512} << 20;

// The status for a PictureFile error (`error_number` is the errno of kIo).
GraphicsStatus StatusFor(PictureFileError error, int error_number);

// `path` opened and its header read: kOk with `*file` and `*info` set, or the failing status (as
// Graphics::ReadInfo lists them).
GraphicsStatus OpenPicture(const std::string& path, std::unique_ptr<PictureFile>* file, ImageInfo* info);

}  // namespace platform
