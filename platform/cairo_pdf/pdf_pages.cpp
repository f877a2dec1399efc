// PdfPages: cairo PDF surfaces streamed to a sink.
#include "platform/cairo_pdf/pdf_pages.h"

#include "platform/cairo_pdf/jpeg_for_pdf.h"
#include "platform/cairo_pdf/page_drawing.h"
#include "platform/posix/file_primitives.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace platform {
namespace {

// JPEG files larger than this are not embedded (no photo or sheet comes near it).
constexpr size_t kMaxJpegBytes = size_t{512} << 20;

// cairo writes a page's pictures when the page is shown, one after another, each through a copy of its
// colour bytes (3 a pixel) and of its alpha (1), freed before the next; the compression streams.
constexpr uint64_t kWritingBytesPerPixel = 4;

cairo_status_t WriteToSink(void* closure, const unsigned char* data, unsigned int length) {
  auto* sink = static_cast<PdfPages::Sink*>(closure);
  return (*sink)(data, length) ? CAIRO_STATUS_SUCCESS : CAIRO_STATUS_WRITE_ERROR;
}

struct SurfaceHolder {
  cairo_surface_t* surface = nullptr;
  ~SurfaceHolder() {
    if (surface) cairo_surface_destroy(surface);
  }
};

// The whole file, or nothing when it cannot be read, is empty or is too large.
std::unique_ptr<std::vector<uint8_t>> ReadJpeg(const std::string& path) {
  auto bytes = std::make_unique<std::vector<uint8_t>>();
  if (ReadWholeFile(path, kMaxJpegBytes, bytes.get()) != 0 || bytes->empty()) return nullptr;
  return bytes;
}

void FreeBytes(void* data) { delete static_cast<std::vector<uint8_t>*>(data); }

}  // namespace

struct PdfPages::State {
  Sink sink;
  cairo_surface_t* surface = nullptr;
  cairo_t* cr = nullptr;
  DeviceGeometry geometry;
  bool finished = false;
  // The pictures drawn on the current page, kept until the page is shown: a picture released before
  // that would be copied whole by cairo (its snapshot of the source), a second picture's worth of memory.
  std::vector<cairo_surface_t*> page_pictures;
  std::vector<imaging::MemoryHold> page_holds;
  // The budget the current page's bitmaps came from, and the largest of them, in pixels.
  imaging::MemoryBudget* budget = nullptr;
  uint64_t largest_picture_px = 0;
  void ReleasePagePictures() {
    for (cairo_surface_t* picture : page_pictures) cairo_surface_destroy(picture);
    page_pictures.clear();
    page_holds.clear();
    largest_picture_px = 0;
  }
  // The share of the budget cairo's copies take while the page's pictures are written; nothing when the
  // budget refuses it.
  std::optional<imaging::MemoryHold> HoldForWriting() const {
    return imaging::MemoryHold::Take(budget, largest_picture_px * kWritingBytesPerPixel);
  }
  ~State() {
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
    ReleasePagePictures();
  }
};

PdfPages::PdfPages(std::unique_ptr<State> state) : state_(std::move(state)) {}

PdfPages::~PdfPages() = default;

std::unique_ptr<PdfPages> PdfPages::Create(double page_width_pt, double page_height_pt, const DeviceGeometry& geometry,
                                           Sink sink) {
  if (!(page_width_pt > 0) || !(page_height_pt > 0) || geometry.dpi_x <= 0 || geometry.dpi_y <= 0) return nullptr;
  auto state = std::make_unique<State>();
  state->sink = std::move(sink);
  state->geometry = geometry;
  state->surface = cairo_pdf_surface_create_for_stream(WriteToSink, &state->sink, page_width_pt, page_height_pt);
  if (cairo_surface_status(state->surface) != CAIRO_STATUS_SUCCESS) return nullptr;
  state->cr = cairo_create(state->surface);
  if (cairo_status(state->cr) != CAIRO_STATUS_SUCCESS) return nullptr;
  return std::unique_ptr<PdfPages>(new PdfPages(std::move(state)));
}

DrawResult PdfPages::DrawPicture(const PagePicture& picture, const RectF& dest) {
  State& s = *state_;
  if (s.finished || picture.width_px <= 0 || picture.height_px <= 0) return DrawResult::kFailed;
  if (!(dest.width > 0) || !(dest.height > 0) || !std::isfinite(dest.x) || !std::isfinite(dest.y)) {
    return DrawResult::kFailed;
  }
  SurfaceHolder image;
  std::optional<imaging::MemoryHold> image_hold;
  bool has_alpha = false;
  if (picture.bitmap != nullptr) {
    if (picture.bitmap->width_px != picture.width_px || picture.bitmap->height_px != picture.height_px) {
      return DrawResult::kFailed;
    }
    // The surface is a second copy of the bitmap's pixels until the page is drawn: it takes its share of
    // the budget the bitmap came from.
    const uint64_t pixels = static_cast<uint64_t>(picture.width_px) * static_cast<uint64_t>(picture.height_px);
    s.budget = picture.bitmap->rgba.get_allocator().budget();
    image_hold = imaging::MemoryHold::Take(s.budget, pixels * 4);
    if (!image_hold) return DrawResult::kFailed;
    s.largest_picture_px = std::max(s.largest_picture_px, pixels);
    image.surface = page_drawing::SurfaceFromBitmap(*picture.bitmap);
    has_alpha = true;
  } else {
    std::unique_ptr<std::vector<uint8_t>> jpeg = ReadJpeg(picture.jpeg_path);
    if (!jpeg) return DrawResult::kFailed;
    if (!PrepareJpegForPdf(jpeg.get(), picture.width_px, picture.height_px).embeddable) {
      return DrawResult::kNeedsPixels;
    }
    // The surface's pixels are never drawn: the PDF carries the JPEG itself (the check above makes sure
    // cairo takes it; the surface's size is the JPEG's, as cairo requires).
    image.surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, picture.width_px, picture.height_px);
    if (cairo_surface_status(image.surface) != CAIRO_STATUS_SUCCESS) return DrawResult::kFailed;
    std::vector<uint8_t>* raw = jpeg.get();
    if (cairo_surface_set_mime_data(image.surface, CAIRO_MIME_TYPE_JPEG, raw->data(), raw->size(), FreeBytes, raw) !=
        CAIRO_STATUS_SUCCESS) {
      return DrawResult::kFailed;
    }
    jpeg.release();
  }
  if (image.surface == nullptr || cairo_surface_status(image.surface) != CAIRO_STATUS_SUCCESS) {
    return DrawResult::kFailed;
  }

  cairo_t* cr = s.cr;
  cairo_save(cr);
  // Device pixels of the printable area -> points of the page.
  cairo_scale(cr, 72.0 / s.geometry.dpi_x, 72.0 / s.geometry.dpi_y);
  if (has_alpha) {
    cairo_rectangle(cr, s.geometry.offset_x_px + dest.x, s.geometry.offset_y_px + dest.y, dest.width, dest.height);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_fill(cr);
  }
  page_drawing::PaintPlaced(cr, image.surface, picture, dest, s.geometry.offset_x_px, s.geometry.offset_y_px);
  cairo_restore(cr);
  s.page_pictures.push_back(std::exchange(image.surface, nullptr));
  if (image_hold) s.page_holds.push_back(std::move(*image_hold));
  return cairo_status(cr) == CAIRO_STATUS_SUCCESS ? DrawResult::kDrawn : DrawResult::kFailed;
}

bool PdfPages::ShowPage(int copies) {
  State& s = *state_;
  if (s.finished) return false;
  // The same page again: cairo keeps what was drawn and writes it once more (the pictures themselves are
  // stored once in the document).
  for (int copy = 1; copy < copies; ++copy) cairo_copy_page(s.cr);
  {
    const std::optional<imaging::MemoryHold> writing = s.HoldForWriting();
    if (!writing) return false;
    cairo_show_page(s.cr);
  }
  s.ReleasePagePictures();
  return cairo_status(s.cr) == CAIRO_STATUS_SUCCESS && cairo_surface_status(s.surface) == CAIRO_STATUS_SUCCESS;
}

bool PdfPages::Finish() {
  State& s = *state_;
  if (s.finished) return false;
  s.finished = true;
  cairo_destroy(s.cr);
  s.cr = nullptr;
  {
    // A page still open is written now.
    const std::optional<imaging::MemoryHold> writing = s.HoldForWriting();
    cairo_surface_finish(s.surface);
  }
  s.ReleasePagePictures();
  return cairo_surface_status(s.surface) == CAIRO_STATUS_SUCCESS;
}

}  // namespace platform
