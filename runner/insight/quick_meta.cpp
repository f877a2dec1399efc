// Quick metadata from the stored header values.
#include "runner/insight/quick_meta.h"

#include <utility>

#include "imaging/bitmap.h"
#include "runner/insight/capture_time.h"

namespace runner::insight {

QuickMeta QuickMetaFrom(const platform::PictureMetadata& metadata) {
  QuickMeta meta;
  meta.width_px = metadata.width_px;
  meta.height_px = metadata.height_px;
  if (imaging::OrientationSwapsSides(metadata.orientation)) std::swap(meta.width_px, meta.height_px);
  const std::optional<std::string>& text =
      metadata.date_time_original ? metadata.date_time_original : metadata.date_time;
  if (text) {
    const std::optional<int64_t> millis = ParseExifDateTimeMillis(*text);
    if (millis && *millis > 0) meta.captured_at_millis = millis;
  }
  return meta;
}

}  // namespace runner::insight
