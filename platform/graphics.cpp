// The Graphics port's shared pieces that need no library.
#include "platform/graphics.h"

#include <algorithm>
#include <cmath>

#include "imaging/reduce.h"

namespace platform {

bool Finite(const RectF& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.width) && std::isfinite(r.height);
}

GraphicsStatus BitmapPartPixels(const imaging::Bitmap& image, const RectF& source, const RectF& dest, PixelSpan* span) {
  *span = PixelSpan{};
  if (!Finite(source) || !Finite(dest)) return GraphicsStatus::kInvalidArgument;
  // A zero scale is nothing to draw, which is success.
  if (image.empty() || dest.width <= 0 || dest.height <= 0 || source.width <= 0 || source.height <= 0) {
    return GraphicsStatus::kOk;
  }
  if (image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return GraphicsStatus::kInvalidArgument;
  }
  span->x0 = std::clamp(static_cast<int>(std::floor(source.x)), 0, image.width_px);
  span->y0 = std::clamp(static_cast<int>(std::floor(source.y)), 0, image.height_px);
  span->x1 = std::clamp(static_cast<int>(std::ceil(source.x + source.width)), 0, image.width_px);
  span->y1 = std::clamp(static_cast<int>(std::ceil(source.y + source.height)), 0, image.height_px);
  return GraphicsStatus::kOk;
}

GraphicsStatus PreparePart(const imaging::Bitmap& image, const PixelSpan& span, double scale_x, double scale_y,
                           Filter filter, PreparedPart* part) {
  *part = PreparedPart{};
  part->filter = filter;
  const bool reduces = filter == Filter::kArea || filter == Filter::kBicubic;
  if (!reduces || (scale_x <= 1.0 && scale_y <= 1.0)) return GraphicsStatus::kOk;
  const int span_width = span.x1 - span.x0, span_height = span.y1 - span.y0;
  const int width = std::max(1, static_cast<int>(std::lround(span_width / std::max(scale_x, 1.0))));
  const int height = std::max(1, static_cast<int>(std::lround(span_height / std::max(scale_y, 1.0))));
  part->reduced = imaging::ReduceBitmap(image, imaging::PixelRect{span.x0, span.y0, span_width, span_height}, width, height);
  if (!part->reduced) return GraphicsStatus::kOutOfMemory;
  part->factor_x = static_cast<double>(span_width) / width;
  part->factor_y = static_cast<double>(span_height) / height;
  // What is left is close to 1:1, or an enlargement along one side, which is bilinear.
  part->filter = Filter::kArea;
  return GraphicsStatus::kOk;
}

}  // namespace platform
