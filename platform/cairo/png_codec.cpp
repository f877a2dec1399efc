// PNG through libpng's simplified interface: header, decoding to 8-bit RGBA, encoding.
#include <png.h>

#include <cstring>
#include <new>

#include "platform/cairo/codecs.h"

namespace platform::codecs {
namespace {

uint32_t BigEndian32(const uint8_t* p) {
  return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

GraphicsStatus PngSize(const std::vector<uint8_t>& bytes, int* width_px, int* height_px) {
  // Signature (8), then the IHDR chunk: length (4), "IHDR", width (4), height (4), all big-endian.
  if (bytes.size() < 24 || std::memcmp(bytes.data() + 12, "IHDR", 4) != 0) return GraphicsStatus::kUnknownImageFormat;
  const uint32_t width = BigEndian32(bytes.data() + 16), height = BigEndian32(bytes.data() + 20);
  if (width == 0 || height == 0 || width > 0x7FFFFFFF || height > 0x7FFFFFFF) return GraphicsStatus::kUnknownImageFormat;
  *width_px = static_cast<int>(width);
  *height_px = static_cast<int>(height);
  return GraphicsStatus::kOk;
}

GraphicsStatus DecodePng(const std::vector<uint8_t>& bytes, Bitmap* out, MemoryBudget* budget) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return GraphicsStatus::kUnknownImageFormat;
  if (!SizeWithinLimits(image.width, image.height)) {
    png_image_free(&image);
    return GraphicsStatus::kInvalidParameter;
  }
  image.format = PNG_FORMAT_RGBA;
  // A 16-bit file without gAMA, sRGB or iCCP would otherwise be taken as linear light and come out far
  // too light; the tools that write such files (numpy, OpenCV, PIL) store sRGB values, and viewers read
  // them so. Files that state their gamma keep it. Set here: beginning the read resets the flags.
  image.flags |= PNG_IMAGE_FLAG_16BIT_sRGB;
  if (budget != nullptr && !budget->CanEverTake(PNG_IMAGE_SIZE(image))) {
    png_image_free(&image);
    return GraphicsStatus::kInvalidParameter;
  }
  Bitmap bitmap{0, 0, PixelBytes(BudgetAllocator<uint8_t>(budget))};
  try {
    bitmap.rgba.resize(PNG_IMAGE_SIZE(image));
  } catch (const std::bad_alloc&) {
    png_image_free(&image);
    return GraphicsStatus::kOutOfMemory;
  }
  if (!png_image_finish_read(&image, nullptr, bitmap.rgba.data(), 0, nullptr)) {
    png_image_free(&image);
    return GraphicsStatus::kUnknownImageFormat;
  }
  bitmap.width_px = static_cast<int>(image.width);
  bitmap.height_px = static_cast<int>(image.height);
  png_image_free(&image);
  *out = std::move(bitmap);
  return GraphicsStatus::kOk;
}

GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out) {
  if (!SizeWithinLimits(image.width_px, image.height_px) ||
      image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return GraphicsStatus::kInvalidParameter;
  }
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  png.width = static_cast<png_uint_32>(image.width_px);
  png.height = static_cast<png_uint_32>(image.height_px);
  png.format = PNG_FORMAT_RGBA;
  png_alloc_size_t size = 0;
  // First the size, then the bytes.
  if (!png_image_write_to_memory(&png, nullptr, &size, 0, image.rgba.data(), 0, nullptr)) {
    png_image_free(&png);
    return GraphicsStatus::kGenericError;
  }
  std::vector<uint8_t> bytes;
  try {
    bytes.resize(size);
  } catch (const std::bad_alloc&) {
    png_image_free(&png);
    return GraphicsStatus::kOutOfMemory;
  }
  if (!png_image_write_to_memory(&png, bytes.data(), &size, 0, image.rgba.data(), 0, nullptr)) {
    png_image_free(&png);
    return GraphicsStatus::kGenericError;
  }
  png_image_free(&png);
  bytes.resize(size);
  *out = std::move(bytes);
  return GraphicsStatus::kOk;
}

}  // namespace platform::codecs
