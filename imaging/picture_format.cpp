// Sniffing a picture's format from its first bytes.
#include "imaging/picture_format.h"

#include <algorithm>
#include <cstring>

namespace imaging {
namespace {

bool StartsWith(const uint8_t* data, size_t size, const char* magic, size_t length) {
  return size >= length && std::memcmp(data, magic, length) == 0;
}

uint32_t BigEndian32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 | static_cast<uint32_t>(p[2]) << 8 | p[3];
}

// An ISO base media file's "ftyp" box: its major brand and the compatible brands that fit in what was
// read. AV1 brands make an AVIF; every other HEIF brand is taken as HEIC (libheif tells the codec later).
PictureFormat HeifBrand(const uint8_t* data, size_t size) {
  if (size < 16 || std::memcmp(data + 4, "ftyp", 4) != 0) return PictureFormat::kUnknown;
  static constexpr const char* kHeifBrands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis",
                                                "mif1", "msf1", "mif2", "avif", "avis"};
  const size_t box_end = std::min<size_t>(size, BigEndian32(data));
  bool heif = false;
  bool av1 = false;
  // The major brand at 8, the minor version at 12, compatible brands from 16.
  for (size_t at = 8; at + 4 <= box_end; at += (at == 8 ? 8 : 4)) {
    for (const char* brand : kHeifBrands) {
      if (std::memcmp(data + at, brand, 4) != 0) continue;
      heif = true;
      av1 = av1 || brand[0] == 'a';
    }
  }
  if (!heif) return PictureFormat::kUnknown;
  return av1 ? PictureFormat::kAvif : PictureFormat::kHeic;
}

// The checks the reference decoder makes of a TGA header (it has no signature): colour map type 0 or 1,
// an image type it knows, a pixel depth it reads and a size.
bool LooksLikeTga(const uint8_t* data, size_t size) {
  if (size < 18) return false;
  const uint8_t map_type = data[1], image_type = data[2];
  if (map_type > 1) return false;
  const bool mapped = image_type == 1 || image_type == 9;
  const bool plain = image_type == 2 || image_type == 3 || image_type == 10 || image_type == 11;
  if (map_type == 1 ? !mapped : !plain) return false;
  if (map_type == 1) {
    const uint8_t entry_bits = data[7];
    if (entry_bits != 8 && entry_bits != 15 && entry_bits != 16 && entry_bits != 24 && entry_bits != 32) return false;
  }
  const int width = data[12] | data[13] << 8, height = data[14] | data[15] << 8;
  const uint8_t bits = data[16];
  if (width < 1 || height < 1) return false;
  if (map_type == 1) return bits == 8 || bits == 16;
  return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

PictureFormat SniffFormat(const uint8_t* data, size_t size) {
  if (data == nullptr) return PictureFormat::kUnknown;
  if (StartsWith(data, size, "\xFF\xD8\xFF", 3)) return PictureFormat::kJpeg;
  if (StartsWith(data, size, "\x89PNG\r\n\x1A\n", 8)) return PictureFormat::kPng;
  if (StartsWith(data, size, "GIF87a", 6) || StartsWith(data, size, "GIF89a", 6)) return PictureFormat::kGif;
  if (StartsWith(data, size, "8BPS", 4)) return PictureFormat::kPsd;
  if (StartsWith(data, size, "II*\0", 4) || StartsWith(data, size, "MM\0*", 4) ||
      StartsWith(data, size, "II+\0", 4) || StartsWith(data, size, "MM\0+", 4)) {
    return PictureFormat::kTiff;
  }
  if (size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0) {
    return PictureFormat::kWebp;
  }
  if (const PictureFormat heif = HeifBrand(data, size); heif != PictureFormat::kUnknown) return heif;
  if (StartsWith(data, size, "#?RADIANCE", 10) || StartsWith(data, size, "#?RGBE", 6)) return PictureFormat::kHdr;
  if (StartsWith(data, size, "\x53\x80\xF6\x34", 4)) return PictureFormat::kPic;
  if (size >= 3 && data[0] == 'P' && data[1] >= '1' && data[1] <= '7' &&
      (data[2] == ' ' || data[2] == '\n' || data[2] == '\r' || data[2] == '\t')) {
    return PictureFormat::kPnm;
  }
  if (StartsWith(data, size, "BM", 2)) return PictureFormat::kBmp;
  if (LooksLikeTga(data, size)) return PictureFormat::kTga;
  return PictureFormat::kUnknown;
}

const char* FormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::kJpeg: return "JPEG";
    case PictureFormat::kPng: return "PNG";
    case PictureFormat::kBmp: return "BMP";
    case PictureFormat::kTga: return "TGA";
    case PictureFormat::kPsd: return "PSD";
    case PictureFormat::kTiff: return "TIFF";
    case PictureFormat::kWebp: return "WebP";
    case PictureFormat::kHeic: return "HEIC";
    case PictureFormat::kAvif: return "AVIF";
    case PictureFormat::kGif: return "GIF";
    case PictureFormat::kPnm: return "PNM";
    case PictureFormat::kHdr: return "HDR";
    case PictureFormat::kPic: return "PIC";
    case PictureFormat::kUnknown: break;
  }
  return "unknown";
}

bool IsDecodedFormat(PictureFormat format) {
  switch (format) {
    case PictureFormat::kJpeg:
    case PictureFormat::kPng:
    case PictureFormat::kBmp:
    case PictureFormat::kTga:
    case PictureFormat::kPsd:
    case PictureFormat::kTiff:
    case PictureFormat::kWebp:
    case PictureFormat::kHeic:
    case PictureFormat::kAvif:
      return true;
    default:
      return false;
  }
}

}  // namespace imaging
