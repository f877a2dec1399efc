// WIC's part of the Windows Graphics adapter: decoding JPEG and PNG bytes to RGBA, reduced on the way by
// WIC's scaler, and PNG encoding. Internal to the adapter; headers are read by the one picture reader.
//
// Every call makes its own imaging factory and starts COM for the calling thread for as long as it runs
// (multithreaded; a thread that already chose another apartment keeps it), so any thread may call.
// The decoder cannot reduce while it decodes here (its scaled-decode interface is missing under Wine and
// optional on Windows): WIC decodes the whole picture and its scaler reduces it, so the stored picture's
// pixels are held from the memory budget while a decode runs.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/graphics.h"

namespace platform::wic {

// The picture `bytes` holds (stored_width_px x stored_height_px, as its header says) decoded to RGBA at
// width_px x height_px (at most the stored size; smaller sizes are reduced by WIC's Fant scaler, an area
// average). Pixels come from `budget` (none: not counted). kUnknownImageFormat for bytes WIC does not
// decode, or corrupt pixel data; kInvalidParameter for a size outside the limits or beyond the whole
// budget; kOutOfMemory when the memory cannot be had. `*out` is written only on success.
GraphicsStatus DecodeReduced(const std::vector<uint8_t>& bytes, int stored_width_px, int stored_height_px,
                             int width_px, int height_px, Bitmap* out, MemoryBudget* budget);

// `image` as an 8-bit RGBA PNG (colour type 6) by WIC's PNG encoder. `*out` is replaced on success.
GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out);

}  // namespace platform::wic
