// Picture files through stb_image_write (compiled in stb_write_impl.cpp: only the tests write pictures
// with it; the programs encode through the image core).
#include "tests/support/picture_files.h"

#include <stdexcept>

#include <stb/stb_image_write.h>

namespace test_support {
namespace {

void Append(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  const auto* bytes = static_cast<const uint8_t*>(data);
  out->insert(out->end(), bytes, bytes + size);
}

std::vector<uint8_t> Checked(int written, std::vector<uint8_t> bytes) {
  if (written == 0 || bytes.empty()) throw std::runtime_error("stb_image_write refused the test picture");
  return bytes;
}

}  // namespace

std::vector<uint8_t> PngFile(const RgbaPixels& pixels) {
  std::vector<uint8_t> bytes;
  const int written = stbi_write_png_to_func(Append, &bytes, pixels.width_px, pixels.height_px, 4, pixels.data,
                                             static_cast<int>(pixels.stride_bytes));
  return Checked(written, std::move(bytes));
}

std::vector<uint8_t> BmpFile(const RgbaPixels& pixels) {
  // stb writes a BMP from packed rows; three components give a 24-bit file without alpha.
  std::vector<uint8_t> rgb;
  rgb.reserve(static_cast<size_t>(pixels.width_px) * static_cast<size_t>(pixels.height_px) * 3);
  for (int y = 0; y < pixels.height_px; ++y) {
    const uint8_t* row = pixels.data + static_cast<size_t>(y) * pixels.stride_bytes;
    for (int x = 0; x < pixels.width_px; ++x) rgb.insert(rgb.end(), row + 4 * x, row + 4 * x + 3);
  }
  std::vector<uint8_t> bytes;
  const int written = stbi_write_bmp_to_func(Append, &bytes, pixels.width_px, pixels.height_px, 3, rgb.data());
  return Checked(written, std::move(bytes));
}

}  // namespace test_support
