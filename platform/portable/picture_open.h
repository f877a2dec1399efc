// OpenPicture and DecodePictureFile: a picture file opened and read through the image core, with
// failures as the Graphics port's statuses and the core's reasons; shared by the Graphics and metadata
// adapters of both platforms (PictureFile has a POSIX and a Windows implementation).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "base/status.h"
#include "imaging/decode.h"
#include "platform/graphics.h"
#include "platform/portable/picture_file.h"

namespace platform {

// Files above this size are not read as pictures (a 200-megapixel JPEG is far smaller).
inline constexpr size_t kMaxPictureFileBytes = size_t{512} << 20;

// The status for a PictureFile error (`error_number` is the errno of kIo), and its reason ("file not
// found", "access denied", "not a regular file", "too large", "out of memory", "read error").
GraphicsStatus StatusFor(PictureFileError error, int error_number);
std::string ReasonFor(PictureFileError error);

// The port's status for one of the core's.
GraphicsStatus StatusFor(const base::Status& status);

// `path` opened and its header read by the core: the header, with `*file` set, or the failure with its
// reason.
base::StatusOr<imaging::PictureInfo> OpenPicture(const std::string& path, std::unique_ptr<PictureFile>* file);

// Graphics::ReadInfo for every adapter: `*info` is written only on kOk; `*reason` (when given) on failure.
GraphicsStatus ReadPictureInfo(const std::string& path, ImageInfo* info, std::string* reason);

// Graphics::Decode for every adapter: the file opened, read whole (up to kMaxPictureFileBytes) and
// decoded by the core, its pixels from `budget`.
GraphicsStatus DecodePictureFile(const std::string& path, const DecodeOptions& options, imaging::MemoryBudget* budget,
                                 DecodedImage* out, std::string* reason);

}  // namespace platform
