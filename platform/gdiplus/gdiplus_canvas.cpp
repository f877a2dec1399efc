// The canvas of the Windows Graphics adapter: a GDI+ bitmap drawn through a GDI+ Graphics whose pixel
// grid is offset by half a pixel, so that pixel i covers [i, i + 1) as the port says.
#include "platform/gdiplus/gdiplus_canvas.h"

#include <windows.h>
#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <new>
#include <optional>


namespace platform {
namespace {

Gdiplus::RectF ToGdiplus(const RectF& r) {
  return Gdiplus::RectF(static_cast<Gdiplus::REAL>(r.x), static_cast<Gdiplus::REAL>(r.y),
                        static_cast<Gdiplus::REAL>(r.width), static_cast<Gdiplus::REAL>(r.height));
}

// GDI+'s status values and the port's are numbered alike; the ones the port does not name are generic.
GraphicsStatus StatusFrom(Gdiplus::Status status) {
  switch (status) {
    case Gdiplus::Ok: return GraphicsStatus::kOk;
    case Gdiplus::InvalidParameter: return GraphicsStatus::kInvalidArgument;
    case Gdiplus::OutOfMemory: return GraphicsStatus::kOutOfMemory;
    case Gdiplus::Win32Error: return GraphicsStatus::kIoError;
    default: return GraphicsStatus::kFailed;
  }
}

Gdiplus::InterpolationMode ModeFor(Filter filter, double scale_x, double scale_y) {
  switch (filter) {
    case Filter::kNearest: return Gdiplus::InterpolationModeNearestNeighbor;
    case Filter::kBilinear: return Gdiplus::InterpolationModeBilinear;
    case Filter::kBicubic:
      // Beyond about twice the size a cubic's pixels turn into visible squares; bilinear gives the smooth
      // ramp a bicubic enlargement is expected to give.
      return scale_x > 2.0 || scale_y > 2.0 ? Gdiplus::InterpolationModeHighQualityBilinear
                                            : Gdiplus::InterpolationModeHighQualityBicubic;
    case Filter::kArea:
      // Reductions are done before GDI+ sees the picture (PreparePart); what is left is close to 1:1 or
      // an enlargement, which is bilinear.
      return Gdiplus::InterpolationModeHighQualityBilinear;
  }
  return Gdiplus::InterpolationModeHighQualityBilinear;
}

// The pixels x0..x1 x y0..y1 of `image` in GDI+'s straight BGRA order, their memory held from `budget`.
struct BgraPart {
  std::vector<uint8_t> pixels;
  imaging::MemoryHold hold;
};
std::optional<BgraPart> BgraFromBitmap(const imaging::Bitmap& image, int x0, int y0, int x1, int y1, imaging::MemoryBudget* budget) {
  const size_t width = static_cast<size_t>(x1 - x0), height = static_cast<size_t>(y1 - y0);
  std::optional<imaging::MemoryHold> hold = imaging::MemoryHold::Take(budget, width * height * 4);
  if (!hold) return std::nullopt;
  BgraPart part{{}, std::move(*hold)};
  try {
    part.pixels.resize(width * height * 4);
  } catch (const std::bad_alloc&) {
    return std::nullopt;
  }
  uint8_t* out = part.pixels.data();
  for (int y = y0; y < y1; ++y) {
    const uint8_t* in = image.pixel(x0, y);
    for (size_t x = 0; x < width; ++x, in += 4, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = in[3];
    }
  }
  return part;
}

}  // namespace

GdiplusCanvas::GdiplusCanvas(std::unique_ptr<Gdiplus::Bitmap> bitmap, std::unique_ptr<Gdiplus::Graphics> graphics,
                             int width, int height, imaging::MemoryHold hold, imaging::MemoryBudget* budget)
    : bitmap_(std::move(bitmap)), graphics_(std::move(graphics)), width_(width), height_(height),
      hold_(std::move(hold)), budget_(budget) {}

GdiplusCanvas::~GdiplusCanvas() {
  graphics_.reset();
  bitmap_.reset();
}

std::unique_ptr<GdiplusCanvas> GdiplusCanvas::Create(int width_px, int height_px, GraphicsStatus* status,
                                                     imaging::MemoryBudget* budget) {
  auto fail = [status](GraphicsStatus why) {
    if (status) *status = why;
    return nullptr;
  };
  if (!imaging::CanvasSizeWithinLimits(width_px, height_px)) return fail(GraphicsStatus::kInvalidArgument);
  const uint64_t bytes = static_cast<uint64_t>(width_px) * height_px * 4;
  if (budget != nullptr && !budget->CanEverTake(bytes)) return fail(GraphicsStatus::kInvalidArgument);
  std::optional<imaging::MemoryHold> hold = imaging::MemoryHold::Take(budget, bytes);
  if (!hold) return fail(GraphicsStatus::kOutOfMemory);
  // GDI+'s objects come from its own allocator, which answers null when memory runs out.
  std::unique_ptr<Gdiplus::Bitmap> bitmap(new Gdiplus::Bitmap(width_px, height_px, PixelFormat32bppPARGB));
  if (!bitmap || bitmap->GetLastStatus() != Gdiplus::Ok) return fail(GraphicsStatus::kOutOfMemory);
  std::unique_ptr<Gdiplus::Graphics> graphics(new Gdiplus::Graphics(bitmap.get()));
  if (!graphics || graphics->GetLastStatus() != Gdiplus::Ok) return fail(GraphicsStatus::kOutOfMemory);
  graphics->SetPixelOffsetMode(Gdiplus::PixelOffsetModeHalf);
  graphics->SetSmoothingMode(Gdiplus::SmoothingModeAntiAlias);
  graphics->SetCompositingQuality(Gdiplus::CompositingQualityHighQuality);
  // A new bitmap's pixels are not defined: the port's canvas starts transparent black.
  graphics->Clear(Gdiplus::Color(0, 0, 0, 0));
  if (status) *status = GraphicsStatus::kOk;
  return std::unique_ptr<GdiplusCanvas>(
      new GdiplusCanvas(std::move(bitmap), std::move(graphics), width_px, height_px, std::move(*hold), budget));
}

void GdiplusCanvas::Clear(uint32_t argb) { graphics_->Clear(Gdiplus::Color(argb)); }

GraphicsStatus GdiplusCanvas::DrawBitmap(const imaging::Bitmap& image, const RectF& dest, Filter filter, Blend blend) {
  return DrawBitmapPart(image, RectF{0, 0, static_cast<double>(image.width_px), static_cast<double>(image.height_px)},
                        dest, filter, blend);
}

GraphicsStatus GdiplusCanvas::DrawBitmapPart(const imaging::Bitmap& image, const RectF& source, const RectF& dest,
                                             Filter filter, Blend blend) {
  PixelSpan span;
  const GraphicsStatus checked = BitmapPartPixels(image, source, dest, &span);
  if (checked != GraphicsStatus::kOk || span.empty()) return checked;
  // Only the pixels of the part are handed to GDI+, so its filter never reaches pixels outside it.
  const int x0 = span.x0, y0 = span.y0, x1 = span.x1, y1 = span.y1;
  const double sx = source.width / dest.width, sy = source.height / dest.height;
  // The part's own rectangle, in the pixels of what GDI+ is given.
  double part_x = source.x - x0, part_y = source.y - y0, part_w = source.width, part_h = source.height;
  PreparedPart prepared;
  if (PreparePart(image, span, sx, sy, filter, &prepared) != GraphicsStatus::kOk) return GraphicsStatus::kOutOfMemory;
  int part_width = x1 - x0, part_height = y1 - y0;
  std::optional<BgraPart> part;
  if (prepared.reduced) {
    part_x /= prepared.factor_x, part_w /= prepared.factor_x;
    part_y /= prepared.factor_y, part_h /= prepared.factor_y;
    part_width = prepared.reduced->width_px, part_height = prepared.reduced->height_px;
    part = BgraFromBitmap(*prepared.reduced, 0, 0, part_width, part_height, budget_);
  } else {
    part = BgraFromBitmap(image, x0, y0, x1, y1, budget_);
  }
  if (!part) return GraphicsStatus::kOutOfMemory;
  Gdiplus::Bitmap picture(part_width, part_height, part_width * 4, PixelFormat32bppARGB, part->pixels.data());
  if (picture.GetLastStatus() != Gdiplus::Ok) return GraphicsStatus::kOutOfMemory;
  // Mirrored tiles beyond the part's edges: the filter sees the edge pixels again, never transparent
  // black, so the picture stays sharp up to the rectangle's edges.
  Gdiplus::ImageAttributes attributes;
  attributes.SetWrapMode(Gdiplus::WrapModeTileFlipXY);
  graphics_->SetInterpolationMode(ModeFor(prepared.filter, 1 / sx, 1 / sy));
  graphics_->SetCompositingMode(blend == Blend::kSourceCopy ? Gdiplus::CompositingModeSourceCopy
                                                            : Gdiplus::CompositingModeSourceOver);
  graphics_->SetClip(ToGdiplus(dest));
  const Gdiplus::Status status = graphics_->DrawImage(
      &picture, ToGdiplus(dest), static_cast<Gdiplus::REAL>(part_x), static_cast<Gdiplus::REAL>(part_y),
      static_cast<Gdiplus::REAL>(part_w), static_cast<Gdiplus::REAL>(part_h), Gdiplus::UnitPixel, &attributes);
  graphics_->ResetClip();
  graphics_->SetCompositingMode(Gdiplus::CompositingModeSourceOver);
  return StatusFrom(status);
}

GraphicsStatus GdiplusCanvas::StrokeRect(const RectF& rect, double pen_width_px, uint32_t argb) {
  if (!Finite(rect) || !std::isfinite(pen_width_px)) return GraphicsStatus::kInvalidArgument;
  if (pen_width_px <= 0) return GraphicsStatus::kOk;
  Gdiplus::Pen pen(Gdiplus::Color(argb), static_cast<Gdiplus::REAL>(pen_width_px));
  pen.SetLineJoin(Gdiplus::LineJoinMiter);
  pen.SetAlignment(Gdiplus::PenAlignmentCenter);
  return StatusFrom(graphics_->DrawRectangle(&pen, ToGdiplus(rect)));
}

GraphicsStatus GdiplusCanvas::FillRect(const RectF& rect, uint32_t argb) {
  if (!Finite(rect)) return GraphicsStatus::kInvalidArgument;
  if (rect.width <= 0 || rect.height <= 0) return GraphicsStatus::kOk;
  Gdiplus::SolidBrush brush{Gdiplus::Color(argb)};
  return StatusFrom(graphics_->FillRectangle(&brush, ToGdiplus(rect)));
}

std::optional<imaging::Bitmap> GdiplusCanvas::Snapshot() const {
  std::optional<imaging::Bitmap> image = imaging::MakeBitmap(width_, height_, 0, budget_);
  if (!image) return std::nullopt;
  graphics_->Flush(Gdiplus::FlushIntentionSync);
  // Locked as straight ARGB: GDI+ undoes the premultiplication.
  Gdiplus::Rect all(0, 0, width_, height_);
  Gdiplus::BitmapData data{};
  if (bitmap_->LockBits(&all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Gdiplus::Ok) {
    return std::nullopt;
  }
  for (int y = 0; y < height_; ++y) {
    const auto* in = static_cast<const uint8_t*>(data.Scan0) + static_cast<ptrdiff_t>(y) * data.Stride;
    uint8_t* out = image->pixel(0, y);
    for (int x = 0; x < width_; ++x, in += 4, out += 4) {
      out[0] = in[2];
      out[1] = in[1];
      out[2] = in[0];
      out[3] = in[3];
    }
  }
  bitmap_->UnlockBits(&data);
  return image;
}

}  // namespace platform
