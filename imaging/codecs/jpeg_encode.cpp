// JPEG encoding through libjpeg-turbo's TurboJPEG interface.
#include <turbojpeg.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <new>
#include <optional>

#include "imaging/codecs/codec.h"
#include "imaging/encode.h"

namespace imaging {
namespace {

class Compressor {
 public:
  Compressor() : handle_(tjInitCompress()) {}
  ~Compressor() {
    if (handle_) tjDestroy(handle_);
  }
  Compressor(const Compressor&) = delete;
  Compressor& operator=(const Compressor&) = delete;
  tjhandle get() const { return handle_; }

 private:
  tjhandle handle_;
};

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

struct TurboFree {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

}  // namespace

base::StatusOr<std::vector<uint8_t>> EncodeJpeg(const Bitmap& image, int quality, int density_dpi,
                                                MemoryBudget* budget) {
  if (quality < 1 || quality > 100 || !SizeWithinLimits(image.width_px, image.height_px) ||
      image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    return base::Status::InvalidArgument("not a picture to encode");
  }
  const int subsampling = quality > 90 ? TJSAMP_444 : TJSAMP_420;
  const unsigned long bound = tjBufSize(image.width_px, image.height_px, subsampling);
  if (bound == static_cast<unsigned long>(-1) || bound > static_cast<unsigned long>(INT32_MAX)) return codecs::TooLarge();
  // The worst-case output buffer, allocated once so that the encoder never grows it.
  std::optional<MemoryHold> hold;
  if (base::Status status = codecs::HoldWorkingMemory(budget, bound, &hold); !status.ok()) return status;
  Compressor compressor;
  if (!compressor.get()) return codecs::NoMemory();
  std::unique_ptr<unsigned char, TurboFree> buffer(tjAlloc(static_cast<int>(bound)));
  if (!buffer) return codecs::NoMemory();
  unsigned char* output = buffer.get();
  unsigned long size = bound;
  if (tjCompress2(compressor.get(), image.rgba.data(), image.width_px, 0, image.height_px, TJPF_RGBA, &output, &size,
                  subsampling, quality, TJFLAG_NOREALLOC) != 0) {
    return base::Status::Failed(std::string("JPEG encoder: ") + tjGetErrorStr2(compressor.get()));
  }
  SetJfifDensity(output, size, density_dpi);
  std::vector<uint8_t> bytes;
  try {
    bytes.assign(output, output + size);
  } catch (const std::bad_alloc&) {
    return codecs::NoMemory();
  }
  return bytes;
}

}  // namespace imaging
