// PNG decoding through libpng's row interface, to 8-bit RGBA row by row, with the file's colour chunks.
#include <png.h>

#include <algorithm>
#include <array>
#include <csetjmp>
#include <cstring>
#include <new>
#include <vector>

#include "imaging/codecs/codec.h"

namespace imaging::codecs {
namespace {

struct PngReader {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngReader() { png_destroy_read_struct(&png, info ? &info : nullptr, nullptr); }
};

struct MemorySource {
  const uint8_t* data;
  size_t size;
  size_t at;
};

void ReadFromBytes(png_structp png, png_bytep out, size_t length) {
  auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (source->size - source->at < length) png_error(png, "truncated");
  std::memcpy(out, source->data + source->at, length);
  source->at += length;
}

// Errors leave through the jump buffer of the function that set it, without printing.
[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

uint32_t BigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// Whether the file's image data could hold the picture its header claims: deflate cannot make more than
// 1032 bytes of one, so a few hundred bytes never hold 16000 x 16000 pixels. Read from the IHDR chunk and
// the IDAT chunks' lengths before libpng sees the file.
bool DataCanHoldPicture(const uint8_t* data, size_t size) {
  if (size < 33) return false;
  const uint64_t width = BigEndian32(data + 16), height = BigEndian32(data + 20);
  const unsigned depth = data[24], colour = data[25];
  const unsigned channels = colour == 2 ? 3 : colour == 4 ? 2 : colour == 6 ? 4 : 1;
  const uint64_t raw = height * (1 + (width * channels * depth + 7) / 8);
  uint64_t idat = 0;
  for (uint64_t at = 8; at + 8 <= size;) {
    const uint64_t length = BigEndian32(data + at);
    if (std::memcmp(data + at + 4, "IDAT", 4) == 0) idat += length;
    if (std::memcmp(data + at + 4, "IEND", 4) == 0) break;
    at += length + 12;
  }
  // The end of a cut file is allowed for: what is there is counted, the damage rule does the rest.
  idat = std::min<uint64_t>(idat, size);
  return idat * 1032 + 4096 >= raw;
}

struct Layout {
  int width = 0;
  int height = 0;
  bool interlaced = false;
};

// Reads the header and sets the transformations that give 8-bit RGBA rows: palettes and small grey
// depths expanded, transparency chunks made alpha, grey made RGB, opaque files given alpha 255, 16-bit
// samples scaled to 8 bits. Colours are left as stored: the file's colour chunks travel in the
// picture's colour description. A chunk whose checksum is wrong is used as it is. False on damage.
// Only this function's own locals change after setjmp, and none is read after the jump.
bool ReadLayout(PngReader& reader, Layout* layout) {
  if (setjmp(png_jmpbuf(reader.png))) return false;
  png_set_crc_action(reader.png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
  png_read_info(reader.png, reader.info);
  png_uint_32 width = 0, height = 0;
  int depth = 0, colour = 0, interlace = 0;
  png_get_IHDR(reader.png, reader.info, &width, &height, &depth, &colour, &interlace, nullptr, nullptr);
  const bool transparency = png_get_valid(reader.png, reader.info, PNG_INFO_tRNS) != 0;
  if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(reader.png);
  if (colour == PNG_COLOR_TYPE_GRAY && depth < 8) png_set_expand_gray_1_2_4_to_8(reader.png);
  if (transparency) png_set_tRNS_to_alpha(reader.png);
  if (depth == 16) png_set_scale_16(reader.png);
  if (colour == PNG_COLOR_TYPE_GRAY || colour == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(reader.png);
  if (!(colour & PNG_COLOR_MASK_ALPHA) && !transparency) png_set_add_alpha(reader.png, 0xFF, PNG_FILLER_AFTER);
  layout->interlaced = png_set_interlace_handling(reader.png) > 1;
  png_read_update_info(reader.png, reader.info);
  if (width > 0x7FFFFFFFu || height > 0x7FFFFFFFu ||
      png_get_rowbytes(reader.png, reader.info) != static_cast<size_t>(width) * 4) {
    return false;
  }
  layout->width = static_cast<int>(width);
  layout->height = static_cast<int>(height);
  return true;
}

void ReadColour(const PngReader& reader, ColourDescription* colour) {
  png_charp name = nullptr;
  int compression = 0;
  png_bytep profile = nullptr;
  png_uint_32 length = 0;
  if (png_get_iCCP(reader.png, reader.info, &name, &compression, &profile, &length) == PNG_INFO_iCCP &&
      profile != nullptr && length > 0) {
    colour->icc_profile.assign(profile, profile + length);
  }
  colour->srgb_chunk = png_get_valid(reader.png, reader.info, PNG_INFO_sRGB) != 0;
  double gamma = 0;
  if (png_get_gAMA(reader.png, reader.info, &gamma) == PNG_INFO_gAMA && gamma > 0) colour->png_gamma = gamma;
  std::array<double, 8> c{};
  if (png_get_cHRM(reader.png, reader.info, &c[0], &c[1], &c[2], &c[3], &c[4], &c[5], &c[6], &c[7]) ==
      PNG_INFO_cHRM) {
    colour->png_chromaticities = c;
  }
}

// Reads the rows into `rows` (one row pointer, or one per row of the picture for an interlaced file,
// whose passes revisit every row): each row is handed to `sink` as it comes, or after the last pass.
// False on damage, with the rows handed over so far. Nothing with a destructor is made here, since
// libpng leaves by a jump.
bool ReadRows(PngReader& reader, const Layout& layout, png_bytep* rows, RowSink& sink) {
  if (setjmp(png_jmpbuf(reader.png))) return false;
  if (layout.interlaced) {
    png_read_image(reader.png, rows);
    for (int y = 0; y < layout.height; ++y) sink.Row(rows[y]);
    return true;
  }
  for (int y = 0; y < layout.height; ++y) {
    png_read_row(reader.png, rows[0], nullptr);
    sink.Row(rows[0]);
  }
  return true;
}

}  // namespace

base::Status DecodePng(const Input& input, RowSink& sink, ColourDescription* colour) {
  if (!DataCanHoldPicture(input.data, input.size)) return Damaged();
  PngReader reader;
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (reader.png == nullptr) return NoMemory();
  reader.info = png_create_info_struct(reader.png);
  if (reader.info == nullptr) return NoMemory();
  MemorySource source{input.data, input.size, 0};
  png_set_read_fn(reader.png, &source, ReadFromBytes);
  Layout layout;
  if (!ReadLayout(reader, &layout)) return Damaged();
  try {
    ReadColour(reader, colour);
  } catch (const std::bad_alloc&) {
    return NoMemory();
  }
  const size_t row_bytes = static_cast<size_t>(layout.width) * 4;
  const size_t row_count = layout.interlaced ? static_cast<size_t>(layout.height) : 1;
  // An interlaced file is held whole while its passes fill it in.
  std::optional<MemoryHold> hold;
  if (base::Status status = HoldWorkingMemory(input.budget, row_bytes * row_count, &hold); !status.ok()) return status;
  if (base::Status status = sink.Begin(layout.width, layout.height); !status.ok()) return status;
  std::vector<uint8_t> buffer;
  std::vector<png_bytep> rows;
  try {
    buffer.resize(row_bytes * row_count);
    rows.resize(row_count);
  } catch (const std::bad_alloc&) {
    return NoMemory();
  }
  for (size_t y = 0; y < row_count; ++y) rows[y] = buffer.data() + row_bytes * y;
  return ReadRows(reader, layout, rows.data(), sink) ? base::Status::Ok() : Damaged();
}

}  // namespace imaging::codecs
