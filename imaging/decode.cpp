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
  input.min_width_px = exact ? request.exact_width_px : request.min_width_px;
  input.min_height_px = exact ? request.exact_height_px : request.min_height_px;
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

void DecodeSize(PictureFormat format, int width_px, int height_px, int min_width_px, int min_height_px,
                int* decode_width_px, int* decode_height_px) {
  *decode_width_px = width_px;
  *decode_height_px = height_px;
  if (min_width_px <= 0 || min_height_px <= 0) return;
  if (format == PictureFormat::kJpeg) {
    for (int eighths = 1; eighths < 8; ++eighths) {
      const int width = static_cast<int>((int64_t{width_px} * eighths + 7) / 8);
      const int height = static_cast<int>((int64_t{height_px} * eighths + 7) / 8);
      if (width >= min_width_px && height >= min_height_px) {
        *decode_width_px = width;
        *decode_height_px = height;
        return;
      }
    }
    return;
  }
  const int factor = std::min(width_px / min_width_px, height_px / min_height_px);
  if (factor >= 2) {
    *decode_width_px = (width_px + factor - 1) / factor;
    *decode_height_px = (height_px + factor - 1) / factor;
  }
}

}  // namespace imaging
