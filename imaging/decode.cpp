// DecodePicture and ReadPictureInfo: the format told from the bytes, its decoder or header reader, the
// limits, and the one damage rule.
#include "imaging/decode.h"

#include <algorithm>
#include <string>

#include "imaging/codecs/codec.h"
#include "imaging/header/picture_header.h"

namespace imaging {
namespace {

using base::Status;

Status Refused(PictureFormat format) {
  if (format == PictureFormat::kUnknown) return Status::Unsupported("unknown format");
  return Status::Unsupported(std::string("unsupported format ") + FormatName(format));
}

base::StatusOr<PictureFormat> SniffAt(const ReadAtFunction& read) {
  uint8_t start[kSniffBytes];
  const int64_t got = read(0, sizeof start, start);
  if (got < 0) return Status::IoError("read error");
  return SniffFormat(start, static_cast<size_t>(got));
}

base::StatusOr<PictureInfo> ReadJpegOrPngInfo(const ReadAtFunction& read) {
  MetadataStatus status = MetadataStatus::kOk;
  std::optional<PictureHeader> header = ReadPictureHeader(read, &status);
  if (!header) return status == MetadataStatus::kUnreadable ? Status::IoError("read error") : codecs::Damaged();
  PictureInfo info;
  info.format = header->format;
  info.width_px = header->width_px;
  info.height_px = header->height_px;
  info.orientation = header->orientation;
  info.resolution = header->resolution;
  info.exif = std::move(header->exif);
  return info;
}

}  // namespace

bool DecoderAvailable(PictureFormat format) {
  if (format == PictureFormat::kHeic || format == PictureFormat::kAvif) return codecs::HeifDecoderAvailable(format);
  return IsDecodedFormat(format);
}

base::StatusOr<PictureInfo> ReadPictureInfo(const ReadAtFunction& read, uint64_t size_bytes) {
  base::StatusOr<PictureFormat> format = SniffAt(read);
  if (!format.ok()) return format.status();
  if (!DecoderAvailable(*format)) return Refused(*format);
  base::StatusOr<PictureInfo> info = Status::Failed("no reader");
  switch (*format) {
    case PictureFormat::kJpeg:
    case PictureFormat::kPng: info = ReadJpegOrPngInfo(read); break;
    case PictureFormat::kTiff: info = codecs::ReadTiffInfo(read, size_bytes); break;
    case PictureFormat::kWebp: info = codecs::ReadWebpInfo(read, size_bytes); break;
    case PictureFormat::kHeic:
    case PictureFormat::kAvif: info = codecs::ReadHeifInfo(read, size_bytes); break;
    default: info = codecs::ReadStbInfo(read, *format); break;
  }
  if (info.ok()) {
    info->format = *format;
    if (!SizeWithinLimits(info->width_px, info->height_px)) return codecs::TooLarge();
  }
  return info;
}

base::StatusOr<PictureInfo> ReadPictureInfo(const uint8_t* data, size_t size) {
  return ReadPictureInfo(ReadFromMemory(data, size), size);
}

base::StatusOr<DecodedPicture> DecodePicture(const uint8_t* data, size_t size, const DecodeRequest& request,
                                             MemoryBudget* budget) {
  base::StatusOr<PictureInfo> info = ReadPictureInfo(data, size);
  if (!info.ok()) return info.status();
  DecodedPicture picture;
  picture.info = std::move(*info);
  const bool exact = request.exact_width_px > 0 && request.exact_height_px > 0 &&
                     request.exact_width_px <= picture.info.width_px &&
                     request.exact_height_px <= picture.info.height_px;
  codecs::Input input;
  input.data = data;
  input.size = size;
  input.info = &picture.info;
  const bool window = !exact && WantsScaledWindow(request);
  input.min_width_px = exact ? request.exact_width_px : (window ? request.scaled_width_px : request.min_width_px);
  input.min_height_px = exact ? request.exact_height_px : (window ? request.scaled_height_px : request.min_height_px);
  input.purpose = request.purpose;
  input.budget = budget;
  codecs::RowSink sink(request, picture.info, budget);
  Status status;
  switch (picture.info.format) {
    case PictureFormat::kJpeg: status = codecs::DecodeJpeg(input, sink, &picture.colour); break;
    case PictureFormat::kPng: status = codecs::DecodePng(input, sink, &picture.colour); break;
    case PictureFormat::kTiff: status = codecs::DecodeTiff(input, sink, &picture.colour); break;
    case PictureFormat::kWebp: status = codecs::DecodeWebp(input, sink, &picture.colour); break;
    case PictureFormat::kHeic:
    case PictureFormat::kAvif: status = codecs::DecodeHeif(input, sink, &picture.colour); break;
    default: status = codecs::DecodeWithStb(input, sink, &picture.colour); break;
  }
  if (status.Is(Status::Code::kCorrupt)) {
    // The damage rule: shown with its damage, never printed; nothing decoded is nothing to show.
    if (request.purpose == DecodePurpose::kPrint || sink.rows() == 0) return codecs::Damaged();
    picture.damaged = true;
  } else if (!status.ok()) {
    return status;
  }
  base::StatusOr<Bitmap> bitmap = sink.Finish();
  if (!bitmap.ok()) return bitmap.status();
  picture.bitmap = std::move(*bitmap);
  return picture;
}

bool WantsScaledWindow(const DecodeRequest& request) {
  const PixelRect& w = request.window;
  return request.scaled_width_px > 0 && request.scaled_height_px > 0 && w.width > 0 && w.height > 0 && w.x >= 0 &&
         w.y >= 0 && w.x <= request.scaled_width_px - w.width && w.y <= request.scaled_height_px - w.height;
}

void DecodeSize(PictureFormat format, DecodePurpose purpose, int width_px, int height_px, int min_width_px,
                int min_height_px, int* decode_width_px, int* decode_height_px) {
  *decode_width_px = width_px;
  *decode_height_px = height_px;
  if (min_width_px <= 0 || min_height_px <= 0) return;
  if (format == PictureFormat::kJpeg) {
    // The DCT-domain scales cut each 8 x 8 block's detail off at their own limit, and what lies just
    // beyond it comes back as false patterns whatever reduction follows (a zone plate keeps rings of 40
    // levels from the half scale, 4 from the full one): a picture for paper is decoded whole, its rows
    // streaming into the reduction. A preview takes the scale that keeps twice its size, or the
    // eighth scale (its blocks' averages) for a preview of at most an eighth of the picture.
    if (purpose == DecodePurpose::kPrint) return;
    const bool eighth_covers = int64_t{min_width_px} * 8 <= width_px && int64_t{min_height_px} * 8 <= height_px;
    const int64_t want_width = eighth_covers ? min_width_px : int64_t{min_width_px} * 2;
    const int64_t want_height = eighth_covers ? min_height_px : int64_t{min_height_px} * 2;
    for (int eighths = 1; eighths < 8; ++eighths) {
      const int width = static_cast<int>((int64_t{width_px} * eighths + 7) / 8);
      const int height = static_cast<int>((int64_t{height_px} * eighths + 7) / 8);
      if (width >= want_width && height >= want_height) {
        *decode_width_px = width;
        *decode_height_px = height;
        return;
      }
    }
    return;
  }
  // Rows reduced as they arrive keep twice the minimum along each side too: the caller's own reduction
  // then removes what this one lets through near its limit.
  const int64_t factor = std::min(width_px / (2 * int64_t{min_width_px}), height_px / (2 * int64_t{min_height_px}));
  if (factor >= 2) {
    *decode_width_px = static_cast<int>((width_px + factor - 1) / factor);
    *decode_height_px = static_cast<int>((height_px + factor - 1) / factor);
  }
}

}  // namespace imaging
