// JPEG through libjpeg-turbo's TurboJPEG interface: header, decoding at a reduced M/8 scale, encoding.
#include <turbojpeg.h>

#include <cstring>
#include <new>

#include "platform/cairo/codecs.h"

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

// Whether a failed decode still left the picture, as the helper program decides: a file whose data
// stops early (no end marker: a copy cut short, a download broken off) is refused, since the decoder
// would fill the missing part with grey and a bake or sheet would carry it; other warnings (stray bytes
// between segments) leave a whole picture. libjpeg reports the end of the data only by this message.
bool Usable(tjhandle handle) {
  return tjGetErrorCode(handle) == TJERR_WARNING &&
         std::strcmp(tjGetErrorStr2(handle), "Premature end of JPEG file") != 0;
}

}  // namespace

GraphicsStatus DecodeJpeg(const std::vector<uint8_t>& bytes, int min_width_px, int min_height_px, Bitmap* out) {
  TjHandle handle(tjInitDecompress());
  if (!handle.get()) return GraphicsStatus::kOutOfMemory;
  Header header;
  if (!ReadHeader(handle.get(), bytes, &header)) return GraphicsStatus::kUnknownImageFormat;
  // The stored size bounds the decoder's own buffers (a progressive file keeps every coefficient).
  if (static_cast<int64_t>(header.width) * header.height > kMaxPixels) return GraphicsStatus::kInvalidParameter;
  const tjscalingfactor scale = PickScale(header.width, header.height, min_width_px, min_height_px);
  const int width = TJSCALED(header.width, scale), height = TJSCALED(header.height, scale);
  if (!SizeWithinLimits(width, height)) return GraphicsStatus::kInvalidParameter;

  Bitmap image;
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
