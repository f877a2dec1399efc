// Reading the first image directory of a TIFF block: orientation and resolution.
#include "imaging/header/exif_directory.h"

#include <cmath>
#include <cstring>

namespace imaging {
namespace {

constexpr uint16_t kTagOrientation = 0x0112;
constexpr uint16_t kTagXResolution = 0x011A;
constexpr uint16_t kTagYResolution = 0x011B;
constexpr uint16_t kTagResolutionUnit = 0x0128;

enum TiffType : uint16_t {
  kByte = 1,
  kShort = 3,
  kLong = 4,
  kRational = 5,
  kSignedByte = 6,
  kSignedShort = 8,
  kSignedLong = 9,
};

constexpr size_t kEntryBytes = 12;

class TiffBytes {
 public:
  TiffBytes(const uint8_t* data, size_t size, bool little_endian)
      : data_(data), size_(size), little_endian_(little_endian) {}

  bool Has(uint64_t offset, uint64_t length) const { return offset <= size_ && size_ - offset >= length; }
  uint8_t U8(size_t offset) const { return data_[offset]; }
  uint16_t U16(size_t offset) const {
    const uint8_t* p = data_ + offset;
    return little_endian_ ? static_cast<uint16_t>(p[0] | p[1] << 8) : static_cast<uint16_t>(p[0] << 8 | p[1]);
  }
  uint32_t U32(size_t offset) const {
    const uint8_t* p = data_ + offset;
    return little_endian_ ? (uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24)
                          : (uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]});
  }

 private:
  const uint8_t* data_;
  size_t size_;
  bool little_endian_;
};

// The single integer an entry at `entry` holds, or nothing for another type or count. Integers of one
// value sit in the entry's own value field, at its start.
std::optional<int64_t> SingleInteger(const TiffBytes& tiff, size_t entry) {
  if (tiff.U32(entry + 4) != 1) return std::nullopt;
  const size_t value = entry + 8;
  switch (tiff.U16(entry + 2)) {
    case kByte: return tiff.U8(value);
    case kSignedByte: return static_cast<int8_t>(tiff.U8(value));
    case kShort: return tiff.U16(value);
    case kSignedShort: return static_cast<int16_t>(tiff.U16(value));
    case kLong: return tiff.U32(value);
    case kSignedLong: return static_cast<int32_t>(tiff.U32(value));
    default: return std::nullopt;
  }
}

// The single positive RATIONAL of the entry at `entry` (its 8 bytes sit at the offset the entry holds).
std::optional<double> SingleRational(const TiffBytes& tiff, size_t entry) {
  if (tiff.U16(entry + 2) != kRational || tiff.U32(entry + 4) != 1) return std::nullopt;
  const uint32_t at = tiff.U32(entry + 8);
  if (!tiff.Has(at, 8)) return std::nullopt;
  const uint32_t numerator = tiff.U32(at), denominator = tiff.U32(at + 4);
  if (numerator == 0 || denominator == 0) return std::nullopt;
  return static_cast<double>(numerator) / denominator;
}

}  // namespace

ExifDirectoryFacts ReadExifDirectory(const uint8_t* data, size_t size) {
  ExifDirectoryFacts facts;
  if (data == nullptr || size < 8) return facts;
  const bool little = data[0] == 'I' && data[1] == 'I';
  if (!little && !(data[0] == 'M' && data[1] == 'M')) return facts;
  const TiffBytes tiff(data, size, little);
  const uint32_t directory = tiff.U32(4);
  if (!tiff.Has(directory, 2)) return facts;
  const uint16_t count = tiff.U16(directory);

  bool seen_orientation = false, seen_x = false, seen_y = false, seen_unit = false;
  std::optional<double> x, y;
  std::optional<int64_t> unit;
  for (uint32_t i = 0; i < count; ++i) {
    const uint64_t entry = uint64_t{directory} + 2 + uint64_t{i} * kEntryBytes;
    // A directory cut short by the end of the block keeps the entries before the cut.
    if (!tiff.Has(entry, kEntryBytes)) break;
    const size_t at = static_cast<size_t>(entry);
    // The first entry of each tag decides; later ones with the same tag are ignored.
    switch (tiff.U16(at)) {
      case kTagOrientation:
        if (seen_orientation) break;
        seen_orientation = true;
        if (const std::optional<int64_t> value = SingleInteger(tiff, at); value && *value >= 1 && *value <= 8) {
          facts.orientation = static_cast<int>(*value);
        }
        break;
      case kTagXResolution:
        if (!seen_x) x = SingleRational(tiff, at);
        seen_x = true;
        break;
      case kTagYResolution:
        if (!seen_y) y = SingleRational(tiff, at);
        seen_y = true;
        break;
      case kTagResolutionUnit:
        if (!seen_unit) unit = SingleInteger(tiff, at);
        seen_unit = true;
        break;
      default:
        break;
    }
  }
  if (x && y && unit && (*unit == 2 || *unit == 3)) {
    const double per_inch = *unit == 3 ? 2.54 : 1.0;
    facts.resolution = PictureResolution{*x * per_inch, *y * per_inch};
  }
  return facts;
}

ExifDirectoryFacts ReadExifBlock(const uint8_t* block, size_t size) {
  static constexpr uint8_t kSignature[6] = {'E', 'x', 'i', 'f', 0, 0};
  if (block == nullptr || size < sizeof kSignature || std::memcmp(block, kSignature, sizeof kSignature) != 0) {
    return {};
  }
  return ReadExifDirectory(block + sizeof kSignature, size - sizeof kSignature);
}

}  // namespace imaging
