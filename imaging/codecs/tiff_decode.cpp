// TIFF through libtiff: the header from the first directory, the pixels through its RGBA interface in
// bands of strips or tiles, with the file's ICC profile.
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <memory>
#include <vector>

#include "imaging/codecs/codec.h"

namespace imaging::codecs {
namespace {

// libtiff allocates no single block above this (a hostile directory cannot make it take gigabytes).
constexpr tmsize_t kMaxSingleAllocation = tmsize_t{512} << 20;

// A file read through a read-at function, as libtiff's client procedures see it.
struct Stream {
  const ReadAtFunction* read;
  uint64_t size;
  uint64_t position = 0;
};

tmsize_t ReadProc(thandle_t handle, void* out, tmsize_t length) {
  auto* stream = static_cast<Stream*>(handle);
  if (length < 0) return -1;
  const int64_t got = (*stream->read)(stream->position, static_cast<size_t>(length), static_cast<uint8_t*>(out));
  if (got > 0) stream->position += static_cast<uint64_t>(got);
  return static_cast<tmsize_t>(got);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return -1; }
toff_t SeekProc(thandle_t handle, toff_t offset, int whence) {
  auto* stream = static_cast<Stream*>(handle);
  const uint64_t base = whence == SEEK_SET ? 0 : whence == SEEK_CUR ? stream->position : stream->size;
  stream->position = base + offset;
  return stream->position;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<Stream*>(handle)->size; }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) {}
int Quiet(TIFF*, void*, const char*, const char*, va_list) { return 1; }

struct TiffCloser {
  void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};
using TiffHandle = std::unique_ptr<TIFF, TiffCloser>;

TiffHandle Open(Stream& stream) {
  TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
  if (options == nullptr) return nullptr;
  TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAllocation);
  TIFFOpenOptionsSetErrorHandlerExtR(options, Quiet, nullptr);
  TIFFOpenOptionsSetWarningHandlerExtR(options, Quiet, nullptr);
  TiffHandle tiff(TIFFClientOpenExt("picture", "rm", &stream, ReadProc, WriteProc, SeekProc, CloseProc, SizeProc,
                                    MapProc, UnmapProc, options));
  TIFFOpenOptionsFree(options);
  return tiff;
}

PictureInfo InfoOf(TIFF* tiff) {
  PictureInfo info;
  info.format = PictureFormat::kTiff;
  uint32_t width = 0, height = 0;
  TIFFGetField(tiff, TIFFTAG_IMAGEWIDTH, &width);
  TIFFGetField(tiff, TIFFTAG_IMAGELENGTH, &height);
  info.width_px = static_cast<int>(std::min<uint32_t>(width, INT32_MAX));
  info.height_px = static_cast<int>(std::min<uint32_t>(height, INT32_MAX));
  uint16_t orientation = ORIENTATION_TOPLEFT;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_ORIENTATION, &orientation);
  info.orientation = orientation >= 1 && orientation <= 8 ? orientation : 1;
  float x = 0, y = 0;
  uint16_t unit = RESUNIT_INCH;
  TIFFGetFieldDefaulted(tiff, TIFFTAG_RESOLUTIONUNIT, &unit);
  if (TIFFGetField(tiff, TIFFTAG_XRESOLUTION, &x) && TIFFGetField(tiff, TIFFTAG_YRESOLUTION, &y) && x > 0 && y > 0 &&
      (unit == RESUNIT_INCH || unit == RESUNIT_CENTIMETER)) {
    const double per_inch = unit == RESUNIT_CENTIMETER ? 2.54 : 1.0;
    info.resolution = PictureResolution{x * per_inch, y * per_inch};
  }
  return info;
}

// Undoes the RGBA interface's premultiplied alpha: pictures here carry straight alpha.
void Unpremultiply(uint8_t* row, size_t pixels) {
  for (size_t i = 0; i < pixels; ++i, row += 4) {
    const unsigned a = row[3];
    if (a == 0 || a == 255) continue;
    for (int c = 0; c < 3; ++c) row[c] = static_cast<uint8_t>(std::min(255u, (row[c] * 255u + a / 2) / a));
  }
}

}  // namespace

base::StatusOr<PictureInfo> ReadTiffInfo(const ReadAtFunction& read, uint64_t size_bytes) {
  Stream stream{&read, size_bytes};
  TiffHandle tiff = Open(stream);
  if (!tiff) return Damaged();
  return InfoOf(tiff.get());
}

base::Status DecodeTiff(const Input& input, RowSink& sink, ColourDescription* colour) {
  const ReadAtFunction read = ReadFromMemory(input.data, input.size);
  Stream stream{&read, input.size};
  TiffHandle tiff = Open(stream);
  if (!tiff) return Damaged();
  TIFF* const t = tiff.get();
  const int width = input.info->width_px, height = input.info->height_px;
  // Deflate packs at most 1032 bytes into one and LZW about 2730: a file far smaller than its samples
  // cannot hold the picture it claims.
  uint16_t samples = 1, bits = 1;
  TIFFGetFieldDefaulted(t, TIFFTAG_SAMPLESPERPIXEL, &samples);
  TIFFGetFieldDefaulted(t, TIFFTAG_BITSPERSAMPLE, &bits);
  const uint64_t sample_bytes = uint64_t{static_cast<uint32_t>(width)} * static_cast<uint32_t>(height) * samples * bits / 8;
  if (sample_bytes > uint64_t{input.size} * 2731 + 65536) return Damaged();
  uint32_t icc_length = 0;
  void* icc = nullptr;
  if (TIFFGetField(t, TIFFTAG_ICCPROFILE, &icc_length, &icc) && icc != nullptr && icc_length > 0) {
    const auto* bytes = static_cast<const uint8_t*>(icc);
    colour->icc_profile.assign(bytes, bytes + icc_length);
  }
  char message[1024] = {};
  if (!TIFFRGBAImageOK(t, message)) return Damaged();
  TIFFRGBAImage image{};
  if (!TIFFRGBAImageBegin(&image, t, 1, message)) return Damaged();
  // Rows in the order they are stored: the orientation is applied by the one rule, like every format's.
  image.req_orientation = image.orientation;
  // Bands of whole strips or tiles, so that each is decoded once.
  uint32_t band = 0;
  if (TIFFIsTiled(t)) {
    TIFFGetField(t, TIFFTAG_TILELENGTH, &band);
  } else {
    TIFFGetFieldDefaulted(t, TIFFTAG_ROWSPERSTRIP, &band);
  }
  band = std::clamp<uint32_t>(band, 1, static_cast<uint32_t>(height));
  std::optional<MemoryHold> hold;
  base::Status status = HoldWorkingMemory(input.budget, uint64_t{band} * static_cast<uint32_t>(width) * 4, &hold);
  if (status.ok()) status = sink.Begin(width, height);
  std::vector<uint32_t> raster;
  std::vector<uint8_t> row;
  if (status.ok()) {
    try {
      raster.resize(static_cast<size_t>(band) * width);
      row.resize(static_cast<size_t>(width) * 4);
    } catch (const std::bad_alloc&) {
      status = NoMemory();
    }
  }
  for (uint32_t top = 0; status.ok() && top < static_cast<uint32_t>(height); top += band) {
    const uint32_t rows = std::min<uint32_t>(band, static_cast<uint32_t>(height) - top);
    image.row_offset = static_cast<int>(top);
    image.col_offset = 0;
    if (!TIFFRGBAImageGet(&image, raster.data(), static_cast<uint32_t>(width), rows)) {
      status = Damaged();
      break;
    }
    for (uint32_t y = 0; y < rows; ++y) {
      const uint32_t* source = raster.data() + static_cast<size_t>(y) * width;
      for (int x = 0; x < width; ++x) {
        row[x * 4 + 0] = static_cast<uint8_t>(TIFFGetR(source[x]));
        row[x * 4 + 1] = static_cast<uint8_t>(TIFFGetG(source[x]));
        row[x * 4 + 2] = static_cast<uint8_t>(TIFFGetB(source[x]));
        row[x * 4 + 3] = static_cast<uint8_t>(TIFFGetA(source[x]));
      }
      if (image.alpha == EXTRASAMPLE_ASSOCALPHA || image.alpha == EXTRASAMPLE_UNASSALPHA) {
        Unpremultiply(row.data(), static_cast<size_t>(width));
      }
      sink.Row(row.data());
    }
  }
  TIFFRGBAImageEnd(&image);
  return status;
}

}  // namespace imaging::codecs
