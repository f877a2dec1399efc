// The page budget: the largest sheet page either composer makes, the helper program and the
// application's own, so that one request gets one answer whichever of them runs.
//
// Each side at most 32767 pixels (the application's canvases go no further) and at most 260 million
// pixels in all (the helper's decoding budget, about 1 GiB of RGBA): A3 at 1200 dpi is above it. The
// rule is checked before anything is allocated or any file written.
#pragma once

#include <cstdint>
#include <string>

namespace mosalith {

inline constexpr int64_t kMaxPageSidePx = 32767;
inline constexpr int64_t kMaxPagePixels = 260'000'000;

constexpr bool PageWithinBudget(int64_t width_px, int64_t height_px) {
  return width_px >= 1 && height_px >= 1 && width_px <= kMaxPageSidePx && height_px <= kMaxPageSidePx &&
         width_px * height_px <= kMaxPagePixels;
}

// The one text for a page outside the budget: "Invalid page size <width>x<height>".
inline std::string InvalidPageSizeText(int64_t width_px, int64_t height_px) {
  return "Invalid page size " + std::to_string(width_px) + "x" + std::to_string(height_px);
}

}  // namespace mosalith
