// PNG reduced while it decodes: libpng's row interface, one row in memory, blocks averaged into the
// reduced picture as they complete.
#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstring>
#include <new>

#include "platform/cairo/codecs.h"

namespace platform::codecs {
namespace {

// Byte 28 of a PNG is the interlace method of its IHDR chunk (signature 8, length 4, type 4, then
// width 4, height 4, bit depth, colour type, compression, filter, interlace).
constexpr size_t kInterlaceOffset = 28;

struct MemoryReader {
  const uint8_t* data;
  size_t size;
  size_t position;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->size - reader->position) png_error(png, "truncated");
  std::memcpy(out, reader->data + reader->position, length);
  reader->position += length;
}

void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

// Adds one decoded RGBA row into the block sums of its band: for each output pixel, the colour weighted
// by alpha and the alpha itself.
void AddRow(const uint8_t* row, int width, int factor, uint64_t* sums) {
  for (int x = 0; x < width; sums += 4) {
    const int end = std::min(x + factor, width);
    uint64_t r = 0, g = 0, b = 0, alpha = 0;
    for (; x < end; ++x, row += 4) {
      const uint64_t a = row[3];
      r += row[0] * a;
      g += row[1] * a;
      b += row[2] * a;
      alpha += a;
    }
    sums[0] += r;
    sums[1] += g;
    sums[2] += b;
    sums[3] += alpha;
  }
}

// Writes the averages of a finished band of `band_rows` rows into `out`, then clears the sums.
void EmitBand(uint64_t* sums, int width, int out_width, int factor, int band_rows, uint8_t* out) {
  for (int ox = 0; ox < out_width; ++ox, out += 4) {
    uint64_t* sum = sums + static_cast<size_t>(ox) * 4;
    const int columns = ox == out_width - 1 ? width - ox * factor : factor;
    const uint64_t count = static_cast<uint64_t>(columns) * static_cast<uint64_t>(band_rows);
    const uint64_t alpha = sum[3];
    if (alpha == 0) {
      std::memset(out, 0, 4);
    } else {
      for (int c = 0; c < 3; ++c) out[c] = static_cast<uint8_t>((sum[c] + alpha / 2) / alpha);
      out[3] = static_cast<uint8_t>((alpha + count / 2) / count);
    }
    std::memset(sum, 0, 4 * sizeof(uint64_t));
  }
}

struct Reduction {
  int width;
  int height;
  int factor;
  int out_width;
  uint8_t* row;     // one decoded row
  uint64_t* sums;   // the block sums of the band being read
  uint8_t* out;     // the reduced picture
};

// Reads and reduces every row; libpng leaves it by longjmp on a corrupt file.
void ReadRows(png_structp png, png_infop info, const Reduction& r, bool* finished) {
  png_read_info(png, info);
  if (png_get_interlace_type(png, info) != PNG_INTERLACE_NONE) return;
  png_set_expand(png);  // palette to RGB, grey below 8 bits to 8, transparency chunk to alpha
  png_set_scale_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  if (png_get_rowbytes(png, info) != static_cast<size_t>(r.width) * 4) return;
  int band_rows = 0;
  int out_row = 0;
  for (int y = 0; y < r.height; ++y) {
    png_read_row(png, r.row, nullptr);
    AddRow(r.row, r.width, r.factor, r.sums);
    if (++band_rows == r.factor || y == r.height - 1) {
      EmitBand(r.sums, r.width, r.out_width, r.factor, band_rows,
               r.out + static_cast<size_t>(out_row) * r.out_width * 4);
      ++out_row;
      band_rows = 0;
    }
  }
  *finished = true;
}

// The frame libpng may jump back to: nothing in it changes after setjmp, so nothing can be clobbered.
// `*finished` (the caller's) turns true when every row was read.
void ReadReduced(png_structp png, png_infop info, const Reduction& reduction, bool* finished) {
  if (setjmp(png_jmpbuf(png))) return;
  ReadRows(png, info, reduction, finished);
}

}  // namespace

bool PngInterlaced(const std::vector<uint8_t>& bytes) { return bytes.size() > kInterlaceOffset && bytes[kInterlaceOffset] != 0; }

int PngReductionFactor(int width_px, int height_px, int min_width_px, int min_height_px) {
  if (min_width_px <= 0 || min_height_px <= 0 || width_px <= 0 || height_px <= 0) return 1;
  // With factor <= width / min_width, ceil(width / factor) >= min_width; the same for the height.
  const int factor = std::min(width_px / min_width_px, height_px / min_height_px);
  return factor < 1 ? 1 : factor;
}

GraphicsStatus DecodePngReduced(const std::vector<uint8_t>& bytes, int factor, Bitmap* out, MemoryBudget* budget) {
  int width = 0, height = 0;
  if (PngSize(bytes, &width, &height) != GraphicsStatus::kOk) return GraphicsStatus::kUnknownImageFormat;
  if (factor < 2 || PngInterlaced(bytes)) return GraphicsStatus::kInvalidParameter;
  // The stored size bounds the work (every row is still decoded), as it bounds a whole decode.
  if (!SizeWithinLimits(width, height)) return GraphicsStatus::kInvalidParameter;
  const int out_width = (width + factor - 1) / factor;
  const int out_height = (height + factor - 1) / factor;
  const uint64_t pixel_bytes = static_cast<uint64_t>(out_width) * out_height * 4;
  if (budget != nullptr && !budget->CanEverTake(pixel_bytes)) return GraphicsStatus::kInvalidParameter;

  Bitmap reduced{0, 0, PixelBytes(BudgetAllocator<uint8_t>(budget))};
  std::vector<uint8_t> row;
  std::vector<uint64_t> sums;
  try {
    reduced.rgba.resize(pixel_bytes);
    row.resize(static_cast<size_t>(width) * 4);
    sums.assign(static_cast<size_t>(out_width) * 4, 0);
  } catch (const std::bad_alloc&) {
    return GraphicsStatus::kOutOfMemory;
  }
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (png == nullptr) return GraphicsStatus::kOutOfMemory;
  png_infop info = png_create_info_struct(png);
  if (info == nullptr) {
    png_destroy_read_struct(&png, nullptr, nullptr);
    return GraphicsStatus::kOutOfMemory;
  }
  MemoryReader reader{bytes.data(), bytes.size(), 0};
  png_set_read_fn(png, &reader, ReadFromMemory);
  // The size was checked above; libpng's own default limits would refuse sides beyond a million.
  png_set_user_limits(png, static_cast<png_uint_32>(kMaxSidePx), static_cast<png_uint_32>(kMaxSidePx));
  const Reduction reduction{width, height, factor, out_width, row.data(), sums.data(), reduced.rgba.data()};
  bool read = false;
  ReadReduced(png, info, reduction, &read);
  png_destroy_read_struct(&png, &info, nullptr);
  if (!read) return GraphicsStatus::kUnknownImageFormat;
  reduced.width_px = out_width;
  reduced.height_px = out_height;
  *out = std::move(reduced);
  return GraphicsStatus::kOk;
}

}  // namespace platform::codecs
