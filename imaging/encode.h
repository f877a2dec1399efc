// Encoding pictures: the sheets, bakes and print pages as JPEG (libjpeg-turbo), previews as PNG (libpng).
// The one encoder of both programs: the same pixels, quality and density always give the same bytes.
//
// The encoder's own buffers (libjpeg-turbo's worst-case output buffer, PNG rows) draw on the memory budget
// given for as long as the encoding runs; the result is the caller's.
// Failures: kInvalidArgument (an empty picture, pixels that do not match its size, a quality outside
// 1..100), kTooLarge (beyond the whole budget), kOutOfMemory, kFailed (the library failed).
// Thread safety: re-entrant.
#pragma once

#include <cstdint>
#include <vector>

#include "base/status.h"
#include "imaging/bitmap.h"
#include "imaging/memory_budget.h"

namespace imaging {

// `image` as a baseline JPEG at `quality` (1..100), alpha dropped, chroma subsampled 4:2:0 at 90 and
// below and kept whole (4:4:4) above. Its JFIF density is `density_dpi` dots per inch when 1..65535,
// else a 1:1 aspect ratio without units.
base::StatusOr<std::vector<uint8_t>> EncodeJpeg(const Bitmap& image, int quality, int density_dpi = 0,
                                                MemoryBudget* budget = nullptr);

// `image` as an 8-bit RGBA PNG (colour type 6), compressed fast (previews).
base::StatusOr<std::vector<uint8_t>> EncodePng(const Bitmap& image, MemoryBudget* budget = nullptr);

}  // namespace imaging
