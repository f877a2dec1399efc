// JPEG through libjpeg-turbo's TurboJPEG interface: header, decoding at a reduced M/8 scale, encoding.
#include <turbojpeg.h>

#include <cstring>
#include <new>
#include <optional>

#include "platform/turbojpeg/turbojpeg_codec.h"
#include "platform/picture/picture_header.h"

namespace platform::codecs {
namespace {

class TjHandle {
 public:
  explicit TjHandle(tjhandle handle) : handle_(handle) {}
  ~TjHandle() {
    if (handle_) tjDestroy(handle_);
  }
  TjHandle(const TjHandle&) = delete;
  TjHandle& operator=(const TjHandle&) = delete;
  tjhandle get() const { return handle_; }

 private:
  tjhandle handle_;
};

struct Header {
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colorspace = 0;
};

bool ReadHeader(tjhandle handle, const std::vector<uint8_t>& bytes, Header* header) {
  return tjDecompressHeader3(handle, bytes.data(), static_cast<unsigned long>(bytes.size()), &header->width,
                             &header->height, &header->subsampling, &header->colorspace) == 0 &&
         header->width > 0 && header->height > 0;
}

// The smallest of the decoder's scales whose result still covers min_width x min_height; 1/1 when none
// does or no reduction is asked for.
tjscalingfactor PickScale(int width, int height, int min_width, int min_height) {
  tjscalingfactor best{1, 1};
  if (min_width <= 0 || min_height <= 0) return best;
  int count = 0;
  const tjscalingfactor* factors = tjGetScalingFactors(&count);
  for (int i = 0; factors && i < count; ++i) {
    const tjscalingfactor f = factors[i];
    if (f.num >= f.denom) continue;  // never enlarge
    const int w = TJSCALED(width, f), h = TJSCALED(height, f);
    if (w < min_width || h < min_height) continue;
    if (static_cast<int64_t>(w) * h < static_cast<int64_t>(TJSCALED(width, best)) * TJSCALED(height, best)) best = f;
  }
  return best;
}

// The encoder opens every file with the JFIF segment: FF D8, FF E0, length 16, "JFIF\0", version (2 bytes),
// units, X density, Y density (2 bytes each, big-endian), and offers no way to choose the density: it is
// set in those bytes (units 1, dots per inch).
void SetJfifDensity(unsigned char* bytes, unsigned long size, int density_dpi) {
  static constexpr unsigned char kStart[] = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F', 0x00};
  if (density_dpi < 1 || density_dpi > 0xFFFF || size < 18 || std::memcmp(bytes, kStart, sizeof kStart) != 0) return;
  bytes[13] = 1;
  bytes[14] = bytes[16] = static_cast<unsigned char>(density_dpi >> 8);
  bytes[15] = bytes[17] = static_cast<unsigned char>(density_dpi & 0xFF);
}

// Whether the file's frame is progressive, from the one header reader.
bool JpegProgressive(const std::vector<uint8_t>& bytes) {
  const std::optional<PictureHeader> header = ReadPictureHeader(bytes.data(), bytes.size());
  return header && header->progressive;
}

// The coefficients of a whole picture: 64 of two bytes per 8 x 8 block of each component, the chroma
// components reduced as the subsampling says.
uint64_t CoefficientBytes(const Header& header) {
  const uint64_t luma_blocks = (static_cast<uint64_t>(header.width) + 7) / 8 * ((static_cast<uint64_t>(header.height) + 7) / 8);
  // Chroma blocks per luma block, times the two chroma components.
  double chroma = 0;
  switch (header.subsampling) {
    case TJSAMP_444: chroma = 2.0; break;
    case TJSAMP_422:
    case TJSAMP_440: chroma = 1.0; break;
    case TJSAMP_420: chroma = 0.5; break;
    case TJSAMP_411: chroma = 0.5; break;
    case TJSAMP_GRAY: chroma = 0.0; break;
    default: chroma = 3.0; break;  // CMYK and the unknown: four full components at most
  }
  return static_cast<uint64_t>(static_cast<double>(luma_blocks) * (1.0 + chroma)) * 128;
}

// Whether a failed decode still left the picture, as the helper program decides: a file whose data
// stops early (no end marker: a copy cut short, a download broken off) is refused, since the decoder
// would fill the missing part with grey and a bake or sheet would carry it; other warnings (stray bytes
// between segments) leave a whole picture. libjpeg reports the end of the data only by this message.
bool Usable(tjhandle handle) {
  return tjGetErrorCode(handle) == TJERR_WARNING &&
         std::strcmp(tjGetErrorStr2(handle), "Premature end of JPEG file") != 0;
}

}  // namespace

GraphicsStatus DecodeJpeg(const std::vector<uint8_t>& bytes, int min_width_px, int min_height_px, Bitmap* out,
                          MemoryBudget* budget) {
  TjHandle handle(tjInitDecompress());
  if (!handle.get()) return GraphicsStatus::kOutOfMemory;
  Header header;
  if (!ReadHeader(handle.get(), bytes, &header)) return GraphicsStatus::kUnknownImageFormat;
  // The stored size bounds the decoder's own buffers (a progressive file keeps every coefficient).
  if (static_cast<int64_t>(header.width) * header.height > kMaxPixels) return GraphicsStatus::kInvalidParameter;
  const tjscalingfactor scale = PickScale(header.width, header.height, min_width_px, min_height_px);
  const int width = TJSCALED(header.width, scale), height = TJSCALED(header.height, scale);
  if (!SizeWithinLimits(width, height)) return GraphicsStatus::kInvalidParameter;
  const uint64_t pixel_bytes = static_cast<uint64_t>(width) * height * 4;
  if (budget != nullptr && !budget->CanEverTake(pixel_bytes)) return GraphicsStatus::kInvalidParameter;
  // A progressive file is decoded from every coefficient of the stored picture, held at once by the
  // decoder (two bytes each): that memory draws on the budget too, for as long as the decode runs.
  const uint64_t coefficient_bytes = JpegProgressive(bytes) ? CoefficientBytes(header) : 0;
  if (budget != nullptr && !budget->CanEverTake(coefficient_bytes)) return GraphicsStatus::kInvalidParameter;
  std::optional<MemoryHold> decoder_memory = MemoryHold::Take(budget, coefficient_bytes);
  if (!decoder_memory) return GraphicsStatus::kOutOfMemory;

  Bitmap image{0, 0, PixelBytes(BudgetAllocator<uint8_t>(budget))};
  try {
    image.rgba.resize(static_cast<size_t>(width) * height * 4);
  } catch (const std::bad_alloc&) {
    return GraphicsStatus::kOutOfMemory;
  }
  image.width_px = width;
  image.height_px = height;
  const auto size = static_cast<unsigned long>(bytes.size());
  if (header.colorspace == TJCS_CMYK || header.colorspace == TJCS_YCCK) {
    // libjpeg-turbo does not convert CMYK to RGB itself. Files from print workflows store inverted CMYK,
    // so the visible colour is C * K / 255 per channel.
    if (tjDecompress2(handle.get(), bytes.data(), size, image.rgba.data(), width, 0, height, TJPF_CMYK, 0) != 0 &&
        !Usable(handle.get())) {
      return GraphicsStatus::kUnknownImageFormat;
    }
    for (size_t i = 0; i < image.rgba.size(); i += 4) {
      uint8_t* p = image.rgba.data() + i;
      const unsigned k = p[3];
      p[0] = static_cast<uint8_t>(p[0] * k / 255);
      p[1] = static_cast<uint8_t>(p[1] * k / 255);
      p[2] = static_cast<uint8_t>(p[2] * k / 255);
      p[3] = 255;
    }
  } else if (tjDecompress2(handle.get(), bytes.data(), size, image.rgba.data(), width, 0, height, TJPF_RGBA, 0) != 0 &&
             !Usable(handle.get())) {
    return GraphicsStatus::kUnknownImageFormat;
  }
  *out = std::move(image);
  return GraphicsStatus::kOk;
}

GraphicsStatus EncodeJpeg(const Bitmap& image, int quality, std::vector<uint8_t>* out, int density_dpi) {
  if (quality < 1 || quality > 100 || !SizeWithinLimits(image.width_px, image.height_px) ||
      image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return GraphicsStatus::kInvalidParameter;
  }
  TjHandle handle(tjInitCompress());
  if (!handle.get()) return GraphicsStatus::kOutOfMemory;
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  const int subsampling = quality > 90 ? TJSAMP_444 : TJSAMP_420;
  const int result = tjCompress2(handle.get(), image.rgba.data(), image.width_px, 0, image.height_px, TJPF_RGBA,
                                 &buffer, &size, subsampling, quality, 0);
  GraphicsStatus status = result == 0 ? GraphicsStatus::kOk : GraphicsStatus::kGenericError;
  if (status == GraphicsStatus::kOk) {
    SetJfifDensity(buffer, size, density_dpi);
    try {
      out->assign(buffer, buffer + size);
    } catch (const std::bad_alloc&) {
      status = GraphicsStatus::kOutOfMemory;
    }
  }
  tjFree(buffer);
  return status;
}

}  // namespace platform::codecs
