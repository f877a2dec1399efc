// Quick metadata: a photo's upright size and capture time, from what its header and EXIF data store.
#pragma once

#include <cstdint>
#include <optional>

#include "platform/metadata_reader.h"

namespace runner::insight {

struct QuickMeta {
  int width_px = 0;   // upright: the stored sides exchanged when the orientation is a quarter turn (5..8)
  int height_px = 0;
  std::optional<int64_t> captured_at_millis;  // present only when after 1970-01-01 00:00:00 UTC
};

// The upright size and capture time of `metadata`. The capture time is DateTimeOriginal, else the first
// directory's DateTime, else none (see capture_time.h for how the text is read). Pure.
QuickMeta QuickMetaFrom(const platform::PictureMetadata& metadata);

}  // namespace runner::insight
