// Lossless picture files for tests, written by stb_image_write (the helper's encoder library), so a test
// knows every pixel a reader must give back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace test_support {

// 8-bit RGBA pixels, top row first, `stride_bytes` apart (at least 4 x width_px).
struct RgbaPixels {
  int width_px = 0;
  int height_px = 0;
  const uint8_t* data = nullptr;
  size_t stride_bytes = 0;
};

// An 8-bit RGBA PNG of `pixels`, alpha kept. Throws when stb refuses the picture (an empty one).
std::vector<uint8_t> PngFile(const RgbaPixels& pixels);
// A 24-bit BMP of `pixels`, alpha dropped. Throws as PngFile.
std::vector<uint8_t> BmpFile(const RgbaPixels& pixels);

}  // namespace test_support
