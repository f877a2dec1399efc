// PNG through libpng's row interface: decoding to 8-bit RGBA row by row, encoding in one pass.
#include <png.h>

#include <csetjmp>
#include <cmath>
#include <cstring>
#include <new>

#include "platform/libpng/png_codec.h"
#include "platform/reduce.h"

namespace platform::codecs {

// A 341 x 256 preview of a 12-megapixel photo: level 1 with the average filter takes about 5 ms and is
// within 1 % of the Paeth filter's size (7 ms); zlib's default level 6 takes 40-50 ms for 10 % less.
constexpr int kPngCompressionLevel = 1;
constexpr int kPngFilter = PNG_FILTER_AVG;

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

void ReadFromMemory(png_structp png, png_bytep out, size_t length) {
  auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
  if (source->size - source->at < length) png_error(png, "truncated");
  std::memcpy(out, source->data + source->at, length);
  source->at += length;
}

// Errors leave through the jump buffer of the function that set it, without printing.
[[noreturn]] void OnError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void OnWarning(png_structp, png_const_charp) {}

struct Layout {
  int width = 0;
  int height = 0;
  bool interlaced = false;
};

// Reads the header and sets the transformations that give 8-bit RGBA rows: palettes and small grey
// depths expanded, transparency chunks made alpha, grey made RGB, opaque files given alpha 255, 16-bit
// samples scaled to 8 bits as sRGB-encoded values (what viewers show; a file without a colour-space
// chunk says nothing else), and a stated gamma other than sRGB's converted to sRGB. False on damage.
// Only this function's own locals change after setjmp, and none is read after the jump.
bool ReadLayout(PngReader& reader, Layout* layout) {
  if (setjmp(png_jmpbuf(reader.png))) return false;
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
  double file_gamma = 0;
  if (!png_get_valid(reader.png, reader.info, PNG_INFO_sRGB) && png_get_gAMA(reader.png, reader.info, &file_gamma) &&
      file_gamma > 0 && std::fabs(file_gamma - 1 / 2.2) > 0.01) {
    png_set_gamma(reader.png, PNG_DEFAULT_sRGB, file_gamma);
  }
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

// Reads the rows into `rows` (one row pointer, or one per row of the picture for an interlaced file,
// whose passes revisit every row): each row is handed to `sink` as it comes, or after the last pass.
// False on damage. Nothing with a destructor is made here, since libpng leaves by a jump.
bool ReadRows(PngReader& reader, const Layout& layout, png_bytep* rows, PngRowSink& sink) {
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

// The sink that keeps every row: a full-size decode.
class BitmapSink : public PngRowSink {
 public:
  explicit BitmapSink(MemoryBudget* budget) : budget_(budget) {}
  GraphicsStatus Begin(int width_px, int height_px) override {
    if (budget_ != nullptr && !budget_->CanEverTake(uint64_t{4} * width_px * height_px)) {
      return GraphicsStatus::kInvalidParameter;
    }
    std::optional<Bitmap> bitmap = MakeBitmap(width_px, height_px, 0x00000000, budget_);
    if (!bitmap) return GraphicsStatus::kOutOfMemory;
    bitmap_ = std::move(*bitmap);
    return GraphicsStatus::kOk;
  }
  void Row(const uint8_t* rgba) override {
    if (next_row_ >= bitmap_.height_px) return;
    std::memcpy(bitmap_.pixel(0, next_row_++), rgba, static_cast<size_t>(bitmap_.width_px) * 4);
  }
  Bitmap Take() { return std::move(bitmap_); }

 private:
  MemoryBudget* budget_;
  Bitmap bitmap_;
  int next_row_ = 0;
};

// The sink that reduces as rows arrive.
class ReducingSink : public PngRowSink {
 public:
  ReducingSink(int width_px, int height_px, MemoryBudget* budget)
      : width_(width_px), height_(height_px), budget_(budget) {}
  GraphicsStatus Begin(int width_px, int height_px) override {
    if (width_ > width_px || height_ > height_px) return GraphicsStatus::kInvalidParameter;
    reducer_ = RowReducer::Create(PixelRect{0, 0, width_px, height_px}, width_px, height_px, width_, height_, budget_);
    return reducer_ ? GraphicsStatus::kOk : GraphicsStatus::kOutOfMemory;
  }
  void Row(const uint8_t* rgba) override { reducer_->AddRow(rgba); }
  std::optional<Bitmap> Finish() { return reducer_ ? reducer_->Finish() : std::nullopt; }

 private:
  int width_;
  int height_;
  MemoryBudget* budget_;
  std::unique_ptr<RowReducer> reducer_;
};

}  // namespace

GraphicsStatus ReadPngRows(const std::vector<uint8_t>& bytes, PngRowSink& sink) {
  if (bytes.size() < 8 || png_sig_cmp(bytes.data(), 0, 8) != 0) return GraphicsStatus::kUnknownImageFormat;
  PngReader reader;
  reader.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, OnError, OnWarning);
  if (reader.png == nullptr) return GraphicsStatus::kOutOfMemory;
  reader.info = png_create_info_struct(reader.png);
  if (reader.info == nullptr) return GraphicsStatus::kOutOfMemory;
  MemorySource source{bytes.data(), bytes.size(), 0};
  png_set_read_fn(reader.png, &source, ReadFromMemory);
  Layout layout;
  if (!ReadLayout(reader, &layout)) return GraphicsStatus::kUnknownImageFormat;
  if (!SizeWithinLimits(layout.width, layout.height)) return GraphicsStatus::kInvalidParameter;
  const GraphicsStatus status = sink.Begin(layout.width, layout.height);
  if (status != GraphicsStatus::kOk) return status;
  const size_t row_bytes = static_cast<size_t>(layout.width) * 4;
  const size_t row_count = layout.interlaced ? static_cast<size_t>(layout.height) : 1;
  std::vector<uint8_t> buffer;
  std::vector<png_bytep> rows;
  try {
    buffer.resize(row_bytes * row_count);
    rows.resize(row_count);
  } catch (const std::bad_alloc&) {
    return GraphicsStatus::kOutOfMemory;
  }
  for (size_t y = 0; y < row_count; ++y) rows[y] = buffer.data() + row_bytes * y;
  return ReadRows(reader, layout, rows.data(), sink) ? GraphicsStatus::kOk : GraphicsStatus::kUnknownImageFormat;
}

GraphicsStatus DecodePng(const std::vector<uint8_t>& bytes, Bitmap* out, MemoryBudget* budget) {
  BitmapSink sink(budget);
  const GraphicsStatus status = ReadPngRows(bytes, sink);
  if (status == GraphicsStatus::kOk) *out = sink.Take();
  return status;
}

GraphicsStatus DecodePngReduced(const std::vector<uint8_t>& bytes, int width_px, int height_px, Bitmap* out,
                                MemoryBudget* budget) {
  ReducingSink sink(width_px, height_px, budget);
  const GraphicsStatus status = ReadPngRows(bytes, sink);
  if (status != GraphicsStatus::kOk) return status;
  std::optional<Bitmap> reduced = sink.Finish();
  if (!reduced) return GraphicsStatus::kUnknownImageFormat;
  *out = std::move(*reduced);
  return GraphicsStatus::kOk;
}

namespace {

struct PngWriter {
  png_structp png = nullptr;
  png_infop info = nullptr;
  ~PngWriter() { png_destroy_write_struct(&png, info ? &info : nullptr); }
};

void AppendToVector(png_structp png, png_bytep data, size_t length) {
  auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  bool appended = true;
  try {
    bytes->insert(bytes->end(), data, data + length);
  } catch (const std::bad_alloc&) {
    appended = false;
  }
  // libpng's own way out, once no C++ frame is unwinding.
  if (!appended) png_error(png, "out of memory");
}

void NoFlush(png_structp) {}

}  // namespace

GraphicsStatus EncodePng(const Bitmap& image, std::vector<uint8_t>* out) {
  if (!SizeWithinLimits(image.width_px, image.height_px) ||
      image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return GraphicsStatus::kInvalidParameter;
  }
  std::vector<uint8_t> bytes;
  PngWriter writer;
  writer.png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (writer.png == nullptr) return GraphicsStatus::kOutOfMemory;
  writer.info = png_create_info_struct(writer.png);
  if (writer.info == nullptr) return GraphicsStatus::kOutOfMemory;
  // libpng reports errors by longjmp; nothing with a destructor is created between here and the end.
  if (setjmp(png_jmpbuf(writer.png))) return GraphicsStatus::kGenericError;
  try {
    // Previews compress to roughly a third of their pixel bytes: one growth step at most.
    bytes.reserve(image.rgba.size() / 2 + 1024);
  } catch (const std::bad_alloc&) {
    return GraphicsStatus::kOutOfMemory;
  }
  png_set_write_fn(writer.png, &bytes, AppendToVector, NoFlush);
  png_set_IHDR(writer.png, writer.info, static_cast<png_uint_32>(image.width_px),
               static_cast<png_uint_32>(image.height_px), 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  // Compressed once, in one pass: a fast deflate level, and a filter that predicts a photograph's smooth
  // gradients from the pixels above and to the left, so the fast level loses little size.
  png_set_compression_level(writer.png, kPngCompressionLevel);
  png_set_filter(writer.png, PNG_FILTER_TYPE_BASE, kPngFilter);
  png_write_info(writer.png, writer.info);
  for (int y = 0; y < image.height_px; ++y) {
    png_write_row(writer.png, const_cast<png_bytep>(image.pixel(0, y)));
  }
  png_write_end(writer.png, writer.info);
  *out = std::move(bytes);
  return GraphicsStatus::kOk;
}

}  // namespace platform::codecs
