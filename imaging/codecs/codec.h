// The decoders' shared parts, inside the image core only: the row sink every decoder hands its rows to,
// the working memory a decoder takes from the budget, and one entry per decoder.
//
// Each decoder returns Ok when the picture decoded whole; Corrupt("damaged data") when its data ended
// early or is damaged, the rows it gave before are then the picture's (DecodePicture applies the damage
// rule of decode.h); any other failure as decode.h lists them. It tells the sink the size of its rows
// once (Begin), then gives every row top to bottom as 8-bit RGBA with straight alpha.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>

#include "base/status.h"
#include "imaging/decode.h"
#include "imaging/reduce.h"

namespace imaging::codecs {

inline base::Status Damaged() { return base::Status::Corrupt("damaged data"); }
inline base::Status TooLarge() { return base::Status::TooLarge("too large"); }
inline base::Status NoMemory() { return base::Status::OutOfMemory("out of memory"); }

// `bytes` of a decoder's own working memory held from `budget` for as long as `*hold` lives. TooLarge
// beyond the whole budget, NoMemory when the budget refuses after waiting.
base::Status HoldWorkingMemory(MemoryBudget* budget, uint64_t bytes, std::optional<MemoryHold>* hold);

// Where a decoder's rows go: kept whole, or reduced as they arrive (to the request's exact size, or by
// the largest whole factor that covers its minimum size when the decoder did not scale itself).
class RowSink {
 public:
  RowSink(const DecodeRequest& request, const PictureInfo& info, MemoryBudget* budget);
  ~RowSink();
  RowSink(const RowSink&) = delete;
  RowSink& operator=(const RowSink&) = delete;

  // The size of the rows that follow. Fails (TooLarge, NoMemory) when the result cannot be had.
  base::Status Begin(int width_px, int height_px);
  // The next row: width_px RGBA pixels. Rows beyond height_px are ignored.
  void Row(const uint8_t* rgba);
  bool begun() const { return begun_; }
  int rows() const { return rows_; }
  // The picture, with every row not given filled with kMissingPixel. NoMemory when a reduction fails.
  base::StatusOr<Bitmap> Finish();

 private:
  const DecodeRequest request_;
  const PictureInfo& info_;
  MemoryBudget* budget_;
  bool begun_ = false;
  int width_ = 0;
  int height_ = 0;
  int rows_ = 0;
  Bitmap whole_;
  std::unique_ptr<RowReducer> reducer_;
};

// What a decoder is given: the whole file, its header, the size it may scale to (stored orientation;
// 0 for none), and the budget for its own memory.
struct Input {
  const uint8_t* data = nullptr;
  size_t size = 0;
  const PictureInfo* info = nullptr;
  int min_width_px = 0;
  int min_height_px = 0;
  MemoryBudget* budget = nullptr;
};

base::Status DecodeJpeg(const Input& input, RowSink& sink, ColourDescription* colour);
base::Status DecodePng(const Input& input, RowSink& sink, ColourDescription* colour);
base::Status DecodeTiff(const Input& input, RowSink& sink, ColourDescription* colour);
base::Status DecodeWebp(const Input& input, RowSink& sink, ColourDescription* colour);
base::Status DecodeHeif(const Input& input, RowSink& sink, ColourDescription* colour);
// BMP, TGA and PSD.
base::Status DecodeWithStb(const Input& input, RowSink& sink, ColourDescription* colour);

// Headers the pure reader does not read (their libraries' own parsers).
base::StatusOr<PictureInfo> ReadTiffInfo(const ReadAtFunction& read, uint64_t size_bytes);
base::StatusOr<PictureInfo> ReadHeifInfo(const ReadAtFunction& read, uint64_t size_bytes);
base::StatusOr<PictureInfo> ReadStbInfo(const ReadAtFunction& read, PictureFormat format);
base::StatusOr<PictureInfo> ReadWebpInfo(const ReadAtFunction& read, uint64_t size_bytes);

// Whether this build has libheif with a decoder for `format` (kHeic: HEVC, kAvif: AV1).
bool HeifDecoderAvailable(PictureFormat format);

}  // namespace imaging::codecs
