// Graphics: decoding picture files to pixels, drawing on a canvas, encoding JPEG and PNG.
//
// Sizes are pixels; rectangles have their origin at the top-left corner of the canvas, y downwards, and
// pixel i covers [i, i + 1). Colours are 0xAARRGGBB with straight alpha. Every operation refuses sizes
// outside the limits of imaging/bitmap.h before it allocates.
// Failures are a GraphicsStatus, one of the kinds of base/status.h; the adapters turn their libraries'
// errors into one right after the call, and nothing third-party crosses this interface.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "base/status.h"
#include "imaging/bitmap.h"
#include "imaging/colour/colour_description.h"
#include "imaging/decode.h"
#include "imaging/header/exif_directory.h"

namespace platform {

// The kinds this port answers:
//   kOk
//   kFailed           an encoder or drawing failure without a better name
//   kInvalidArgument  a size or argument outside what the operation takes (the pixel limits included)
//   kOutOfMemory
//   kIoError          any other I/O error
//   kNotFound         no such file or folder
//   kAccessDenied     permission refused, or a path that is not a regular file (a FIFO, a device)
//   kUnsupported      not a picture this port decodes
//   kCorrupt          a picture whose header or data does not decode
using GraphicsStatus = base::Status::Code;

// The formats the image core tells apart (imaging/picture_format.h).
using ImageFormat = imaging::PictureFormat;

// What a file says about its picture, read from its header without decoding pixels, by the image core
// (imaging/decode.h).
struct ImageInfo {
  ImageFormat format = ImageFormat::kUnknown;
  int width_px = 0;     // as stored, before any orientation
  int height_px = 0;
  int orientation = 1;  // the EXIF orientation, 1..8 by the one rule; 1 when absent or invalid (and for HEIF,
                        // which the core decodes upright)
  std::optional<imaging::PictureResolution> resolution;  // only when the file states a physical unit
};

struct DecodeOptions {
  // Decode-time reduction: when both are above 0, a JPEG is decoded at the smallest of the decoder's
  // M/8 scales whose size is still at least min_width_px x min_height_px (stored orientation), or at full
  // size when no smaller scale covers it; a PNG is reduced by the largest whole factor that still covers
  // that size (an interlaced one is decoded at full size). 0 here decodes at full size.
  int min_width_px = 0;
  int min_height_px = 0;
  // An exact size (stored orientation): when both are above 0 and neither is above the stored size, the
  // picture comes out exactly this size, reduced by the one reduction (imaging/reduce.h): a JPEG after
  // the M/8 decode that covers it (min_* are then ignored), a PNG row by row as it is decoded, so that
  // the full-size picture is never held. Otherwise ignored.
  int exact_width_px = 0;
  int exact_height_px = 0;
  // What the picture is for: a damaged picture is shown (kShow) or refused (kPrint) by the core's one
  // damage rule (imaging/decode.h).
  imaging::DecodePurpose purpose = imaging::DecodePurpose::kPrint;
};

struct DecodedImage {
  imaging::Bitmap bitmap;  // the stored picture (not turned upright), perhaps reduced as DecodeOptions ask
  ImageInfo info;          // the file's stored size, format and orientation
  imaging::ColourDescription colour;  // the file's embedded profile and colour chunks
  bool damaged = false;  // kShow only: parts of the picture are the core's missing-pixel grey
};

enum class Filter {
  kNearest,
  kBilinear,
  kBicubic,  // high quality: reductions as kArea, enlargements a sharp cubic up to about twice the size and
             // bilinear beyond, which looks smoother there
  kArea,     // for reductions: each destination pixel is a weighted average of the source pixels under
             // and around it (imaging/reduce.h: no moire from fine detail, however large the
             // reduction); enlargements are bilinear
};

enum class Blend {
  kSourceOver,  // blend through the source's alpha
  kSourceCopy,  // replace the destination, alpha included
};

struct RectF {
  double x = 0;
  double y = 0;
  double width = 0;
  double height = 0;
};

// Whether every field of `r` is a finite number (the canvases refuse the others as kInvalidArgument).
bool Finite(const RectF& r);

// The whole stored pixels [x0, x1) x [y0, y1) of `image` that a part `source`, drawn into `dest`, covers,
// clamped to the image: Canvas::DrawBitmapPart's checks, the same for every adapter.
struct PixelSpan {
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool empty() const { return x1 <= x0 || y1 <= y0; }
};
// kInvalidArgument for a rectangle that is not finite or pixels that do not match the image's size; kOk
// otherwise, with `*span` empty when there is nothing to draw (an empty image, part or destination).
GraphicsStatus BitmapPartPixels(const imaging::Bitmap& image, const RectF& source, const RectF& dest, PixelSpan* span);

// The span of a drawing as a canvas is handed it. A reduction (kArea or kBicubic, the part drawn smaller
// than its pixels) is done first by the one reduction (imaging/reduce.h), to the size the part takes, so
// the canvas only places what is left, close to 1:1, with `filter`; `factor_x`, `factor_y` are how many
// of the span's pixels each reduced pixel stands for. Anything else is drawn from the span's own pixels
// with the caller's filter.
struct PreparedPart {
  std::optional<imaging::Bitmap> reduced;  // empty: the span's own pixels
  double factor_x = 1, factor_y = 1;
  Filter filter = Filter::kArea;
};
// `scale_x`, `scale_y`: the span's pixels per canvas pixel; the reduced pixels come from the image's
// budget. kOutOfMemory when the reduction cannot be had.
GraphicsStatus PreparePart(const imaging::Bitmap& image, const PixelSpan& span, double scale_x, double scale_y,
                           Filter filter, PreparedPart* part);

// A drawing surface, made by Graphics::CreateCanvas, transparent black until cleared.
// Thread safety: one thread at a time per canvas; separate canvases are independent.
class Canvas {
 public:
  virtual ~Canvas() = default;

  virtual int width_px() const = 0;
  virtual int height_px() const = 0;

  // Replaces every pixel with `argb`.
  virtual void Clear(uint32_t argb) = 0;

  // Draws all of `image` scaled into `dest`; what falls outside the canvas is clipped, and the picture's
  // edges stay sharp at the rectangle's edges (no fringe from outside the picture). A destination with no
  // area, or an empty image, draws nothing and succeeds. kInvalidArgument for non-finite coordinates.
  virtual GraphicsStatus DrawBitmap(const imaging::Bitmap& image, const RectF& dest, Filter filter,
                                    Blend blend = Blend::kSourceOver) = 0;

  // Draws the part `source` of `image` (pixels of the image) scaled into `dest`, as DrawBitmap does; the
  // filter sees only the part's own pixels.
  virtual GraphicsStatus DrawBitmapPart(const imaging::Bitmap& image, const RectF& source, const RectF& dest, Filter filter,
                                        Blend blend = Blend::kSourceOver) = 0;

  // Outlines `rect` with a pen `pen_width_px` wide centred on its edges (square corners), antialiased,
  // blended over. A pen of 0 or less draws nothing and succeeds.
  virtual GraphicsStatus StrokeRect(const RectF& rect, double pen_width_px, uint32_t argb) = 0;

  // Fills `rect`, blended over.
  virtual GraphicsStatus FillRect(const RectF& rect, uint32_t argb) = 0;

  // A copy of the canvas's pixels; nothing when the memory cannot be had.
  virtual std::optional<imaging::Bitmap> Snapshot() const = 0;
};

// Thread safety: every method may be called from any thread at once; the port keeps no state between
// calls.
class Graphics {
 public:
  virtual ~Graphics() = default;

  // Reads the format, stored size, EXIF orientation and stated resolution from the file's header, through
  // the image core. kNotFound, kAccessDenied (also for a path that is not a regular file),
  // kUnsupported (a format the core does not decode), kCorrupt (a header that does not parse),
  // kInvalidArgument (sides outside the limits). On failure `*reason` (when given) is the core's
  // reason for log lines and replies: "file not found", "unsupported format GIF", "damaged data", ...
  virtual GraphicsStatus ReadInfo(const std::string& path, ImageInfo* info, std::string* reason = nullptr) const = 0;

  // Decodes the file's first picture through the image core as `options` allow. Failures as ReadInfo,
  // plus kOutOfMemory, and kCorrupt for damaged pixel data (by the core's damage rule for
  // options.purpose). `*out` is written only on success, `*reason` only on failure. Pixels draw on the
  // memory budget the adapter was given: a picture that needs more than the whole budget is
  // kInvalidArgument (as one over the pixel limits); one that needs more than is free waits for it.
  virtual GraphicsStatus Decode(const std::string& path, const DecodeOptions& options, DecodedImage* out,
                                std::string* reason = nullptr) const = 0;

  // A transparent canvas of width_px x height_px, or null with `*status` (when given) kInvalidArgument
  // for a size outside the limits (or beyond the whole memory budget) or kOutOfMemory.
  virtual std::unique_ptr<Canvas> CreateCanvas(int width_px, int height_px, GraphicsStatus* status = nullptr) const = 0;

  // Encodes `image` as a baseline JPEG at `quality` (1..100, the caller clamps; others are
  // kInvalidArgument), alpha dropped, chroma subsampled 4:2:0 at 90 and below and 4:4:4 above. Its JFIF
  // density is `density_dpi` dots per inch (at most 65535) when above 0, else a 1:1 aspect ratio without
  // units. The same pixels, quality and density always give the same bytes. `*out` is replaced on
  // success.
  virtual GraphicsStatus EncodeJpeg(const imaging::Bitmap& image, int quality, std::vector<uint8_t>* out,
                                    int density_dpi = 0) const = 0;

  // Encodes `image` as an 8-bit RGBA PNG (colour type 6). `*out` is replaced on success.
  virtual GraphicsStatus EncodePng(const imaging::Bitmap& image, std::vector<uint8_t>* out) const = 0;
};

}  // namespace platform
