// Sheet composition: the cell loop, paste, frame blending, cut lines and writing the sheet file.
#include "helper/sheet.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "helper/cell_fit.h"
#include "helper/cut_guides.h"
#include "helper/effects.h"
#include "helper/image_io.h"
#include "helper/log.h"
#include "helper/picture_failure.h"
#include "helper/reorder.h"
#include "imaging/reduce.h"

namespace mosalith {
namespace {

// Fills the rectangle [left, left + width) x [top, top + height), clipped to the canvas, with an opaque
// colour.
void FillClipped(imaging::Bitmap& canvas, int64_t left, int64_t top, int64_t width, int64_t height, Rgb color) {
  const int64_t x0 = std::max<int64_t>(left, 0);
  const int64_t y0 = std::max<int64_t>(top, 0);
  const int64_t x1 = std::min<int64_t>(left + width, canvas.width_px);
  const int64_t y1 = std::min<int64_t>(top + height, canvas.height_px);
  for (int64_t y = y0; y < y1; ++y) {
    for (int64_t x = x0; x < x1; ++x) {
      uint8_t* pixel = canvas.pixel(static_cast<int32_t>(x), static_cast<int32_t>(y));
      pixel[0] = color.r;
      pixel[1] = color.g;
      pixel[2] = color.b;
      pixel[3] = 255;
    }
  }
}

void LogProgress(SheetCounters& counters, int64_t done, size_t image_count) {
  if (done % 10 != 0 && done != static_cast<int64_t>(image_count)) return;
  std::lock_guard<std::mutex> lock(counters.log_lock);
  LogLine("Mosalith: [" + std::to_string(done) + "/" + std::to_string(image_count) + "]");
}

// How large the decode of a cell's photo must be: the picture's cover size of the photo's target
// (magnet and bleed), measured after the turn to the magnet.
ScaleNeed PhotoScaleNeed(const GridJob& job, const SheetGeometry& geometry, int32_t photo_width, int32_t photo_height) {
  return [&job, &geometry, photo_width, photo_height](int32_t width, int32_t height) {
    if (job.rotateToFit && ShouldRotate(width, height, geometry.magnet_shape)) std::swap(width, height);
    return std::max(static_cast<double>(photo_width) / width, static_cast<double>(photo_height) / height);
  };
}

// Without the user's zoom and pan the magnet is one window of the cover-scaled photo, known before
// decoding: the photo is decoded straight to it, turned upright and to the magnet only at its size.
// With them (`user_transform`) there is no window.
WindowNeed PhotoWindowNeed(const GridJob& job, const SheetGeometry& geometry, size_t index, int32_t photo_width,
                           int32_t photo_height, bool user_transform) {
  return [&job, &geometry, index, photo_width, photo_height, user_transform](
             int32_t stored_width, int32_t stored_height, int orientation) -> std::optional<StoredWindow> {
    if (user_transform) return std::nullopt;
    const int32_t bleed = geometry.bleed_px;
    const bool swapped = imaging::OrientationSwapsSides(orientation);
    int32_t width = swapped ? stored_height : stored_width, height = swapped ? stored_width : stored_height;
    const bool turn = job.rotateToFit && ShouldRotate(width, height, geometry.magnet_shape);
    if (turn) std::swap(width, height);
    CropFocus focus{nullptr, turn, bleed};
    if (job.faceAwareCrop && index < job.faces.size()) focus.faces = &job.faces[index];
    const std::optional<CoverWindow> window = CoverWindowOf(width, height, photo_width, photo_height, &focus);
    if (!window) return std::nullopt;
    return StoredWindowOf(window->cover.width_px, window->cover.height_px,
                          imaging::PixelRect{window->left_px, window->top_px, photo_width, photo_height}, orientation,
                          turn);
  };
}

// Photo `index` covering its magnet and the bleed around it: loaded, turned and fitted to the magnet,
// converted to the sheet's space and given its effects and border. Nothing, after logging why, when
// the photo could not be loaded.
std::optional<imaging::Bitmap> LoadCellPhoto(const GridJob& job, const SheetGeometry& geometry, size_t index,
                                             ImageCodec& codec, const SheetCounters& counters) {
  const int32_t bleed = geometry.bleed_px;
  const int32_t photo_width = geometry.magnet_width_px + 2 * bleed;
  const int32_t photo_height = geometry.magnet_height_px + 2 * bleed;
  const EffectRecord* effects = index < job.effects.size() ? &job.effects[index] : nullptr;
  const bool user_transform = WantsUserTransform(effects) && effects->viewportWidth > 0.0f && effects->viewportHeight > 0.0f;
  base::StatusOr<UprightPicture> photo =
      LoadUpright(job.images[index], codec, PhotoScaleNeed(job, geometry, photo_width, photo_height),
                  PhotoWindowNeed(job, geometry, index, photo_width, photo_height, user_transform));
  if (!photo.ok()) {
    LogLine(PictureFailureLine(PictureRole::kPhoto, index, job.images[index], photo.status().message()));
    return std::nullopt;
  }
  const bool rotated = TurnPhotoToMagnet(*photo, static_cast<int>(index), geometry.magnet_shape, job.rotateToFit);
  CropFocus focus{nullptr, rotated, bleed};
  if (job.faceAwareCrop && index < job.faces.size()) focus.faces = &job.faces[index];
  if (!photo->windowed) {
    FitToMagnet(photo->pixels, photo->width_px, photo->height_px, effects, photo_width, photo_height, rotated, &focus);
  } else if (photo->pixels.width_px != photo_width || photo->pixels.height_px != photo_height) {
    CenterCrop(photo->pixels, photo_width, photo_height);  // a turn found no memory: at most the magnet
  }
  // Converted at the magnet's size, before the effects and border work on it.
  if (counters.colour != nullptr) ConvertToSheet(photo->pixels, photo->colour, *counters.colour, job.images[index]);
  if (effects) {
    ApplyEffects(photo->pixels, *effects);
    ApplyBorder(photo->pixels, *effects, bleed);
  }
  return std::move(photo->pixels);
}

// Frame `index` at its magnet's size, converted to the sheet's space; empty when the photo has no frame
// or it could not be loaded (logged) or sized.
imaging::Bitmap LoadCellFrame(const GridJob& job, const SheetGeometry& geometry, size_t index, ImageCodec& codec,
                              const SheetCounters& counters) {
  if (index >= job.frames.size() || job.frames[index].empty()) return {};
  const int32_t w = geometry.magnet_width_px;
  const int32_t h = geometry.magnet_height_px;
  // Decoded no larger than its magnet needs, once turned to it.
  const ScaleNeed frame_need = [&](int32_t width, int32_t height) {
    if (ShouldRotate(width, height, geometry.magnet_shape)) std::swap(width, height);
    return std::max(static_cast<double>(w) / width, static_cast<double>(h) / height);
  };
  base::StatusOr<UprightPicture> frame = LoadUpright(job.frames[index], codec, frame_need);
  if (!frame.ok()) {
    LogLine(PictureFailureLine(PictureRole::kFrame, index, job.frames[index], frame.status().message()));
    return {};
  }
  TurnFrameToMagnet(frame->pixels, geometry.magnet_shape);
  // A frame that could not be resized (out of memory) would not match its magnet: leave it off.
  bool fitted = false;
  if (job.frameFit == kFrameFitCover) {
    fitted = CoverCrop(frame->pixels, frame->pixels.width_px, frame->pixels.height_px, w, h);
  } else if (std::optional<imaging::Bitmap> sized = imaging::ReduceBitmap(frame->pixels, w, h)) {
    frame->pixels = std::move(*sized);
    fitted = true;
  }
  if (!fitted) return {};
  if (counters.colour != nullptr) ConvertToSheet(frame->pixels, frame->colour, *counters.colour, job.frames[index]);
  return std::move(frame->pixels);
}

}  // namespace

void PastePhoto(imaging::Bitmap& canvas, const imaging::Bitmap& photo, CellOrigin cell, int32_t magnet_width_px,
                int32_t magnet_height_px) {
  if (photo.empty() || canvas.empty()) return;
  const int64_t width = photo.width_px;
  const int64_t x = std::max<int64_t>(0, cell.x_px + (magnet_width_px - width) / 2);
  const int64_t y = std::max<int64_t>(0, cell.y_px + (magnet_height_px - int64_t{photo.height_px}) / 2);
  if (x + width > canvas.width_px) return;
  const size_t row_bytes = photo.row_bytes();
  for (int32_t row = 0; row < photo.height_px && y + row < canvas.height_px; ++row) {
    std::memcpy(canvas.pixel(static_cast<int32_t>(x), static_cast<int32_t>(y + row)), photo.row(row), row_bytes);
  }
}

void BlendFrame(imaging::Bitmap& canvas, const imaging::Bitmap& frame, int64_t x_px, int64_t y_px) {
  if (frame.empty() || canvas.empty()) return;
  // The frame's columns and rows that land on the canvas.
  const int64_t first_col = std::max<int64_t>(0, -x_px);
  const int64_t first_row = std::max<int64_t>(0, -y_px);
  const int64_t end_col = std::min<int64_t>(frame.width_px, canvas.width_px - x_px);
  const int64_t end_row = std::min<int64_t>(frame.height_px, canvas.height_px - y_px);
  for (int64_t fy = first_row; fy < end_row; ++fy) {
    for (int64_t fx = first_col; fx < end_col; ++fx) {
      const uint8_t* src = frame.pixel(static_cast<int32_t>(fx), static_cast<int32_t>(fy));
      uint8_t* dst = canvas.pixel(static_cast<int32_t>(x_px + fx), static_cast<int32_t>(y_px + fy));
      const int alpha = src[3];
      if (alpha == 0) continue;
      if (alpha == 255) {
        std::memcpy(dst, src, 4);
        continue;
      }
      for (int channel = 0; channel < 3; ++channel) {
        dst[channel] = static_cast<uint8_t>((src[channel] * alpha + dst[channel] * (255 - alpha)) / 255);
      }
      dst[3] = 255;
    }
  }
}

void PasteBled(imaging::Bitmap& canvas, const imaging::Bitmap& photo, const PixelRect& magnet, const PixelRect& bleed_box) {
  if (photo.empty() || canvas.empty()) return;
  // Centred on the magnet, so a photo of the bled size reaches the bleed on every side.
  const int64_t x = magnet.x_px + (magnet.width_px - int64_t{photo.width_px}) / 2;
  const int64_t y = magnet.y_px + (magnet.height_px - int64_t{photo.height_px}) / 2;
  const int64_t x0 = std::max({x, bleed_box.x_px, int64_t{0}});
  const int64_t x1 = std::min({x + photo.width_px, bleed_box.right_px(), int64_t{canvas.width_px}});
  const int64_t y0 = std::max({y, bleed_box.y_px, int64_t{0}});
  const int64_t y1 = std::min({y + photo.height_px, bleed_box.bottom_px(), int64_t{canvas.height_px}});
  if (x0 >= x1) return;
  for (int64_t row = y0; row < y1; ++row) {
    std::memcpy(canvas.pixel(static_cast<int32_t>(x0), static_cast<int32_t>(row)),
                photo.pixel(static_cast<int32_t>(x0 - x), static_cast<int32_t>(row - y)),
                static_cast<size_t>(x1 - x0) * 4);
  }
}

void DrawCutLines(imaging::Bitmap& canvas, const GridJob& job, const SheetGeometry& geometry,
                  const std::vector<bool>& filled, const SheetColour* colour) {
  const Rgb color = colour != nullptr ? SheetRgb(CutLineColor(job.cutGridColor), *colour) : CutLineColor(job.cutGridColor);
  for (const PixelRect& rect : CutGuideRects(job, geometry, filled)) {
    FillClipped(canvas, rect.x_px, rect.y_px, rect.width_px, rect.height_px, color);
  }
}

SheetPhotos PhotosOfSheet(const GridJob& job, const SheetGeometry& geometry, size_t sheet_index) {
  // The product is formed only when it cannot pass the images list, so it cannot overflow.
  const size_t image_count = job.images.size();
  const uint64_t cells = static_cast<uint64_t>(geometry.cells_per_sheet);
  if (sheet_index != 0 && cells > image_count / sheet_index) return SheetPhotos{image_count, image_count};
  const size_t first = sheet_index * cells;
  if (first >= image_count) return SheetPhotos{image_count, image_count};
  return SheetPhotos{first, first + static_cast<size_t>(std::min<uint64_t>(cells, image_count - first))};
}

PreparedCell PrepareCell(const GridJob& job, const SheetGeometry& geometry, size_t index, ImageCodec& codec,
                         SheetCounters& counters) {
  PreparedCell cell;
  std::optional<imaging::Bitmap> photo = LoadCellPhoto(job, geometry, index, codec, counters);
  if (!photo) {
    counters.done.fetch_add(1);  // counted, but an empty cell prints no progress line
    return cell;
  }
  cell.photo = std::move(*photo);
  cell.frame = LoadCellFrame(job, geometry, index, codec, counters);
  LogProgress(counters, counters.done.fetch_add(1) + 1, job.images.size());
  return cell;
}

bool FinishSheet(const GridJob& job, const SheetGeometry& geometry, size_t sheet_index,
                 const std::vector<PreparedCell>& cells, imaging::Bitmap& canvas, ImageCodec& codec,
                 SheetCounters& counters) {
  const std::string& path = job.outputs[sheet_index];
  const std::string failure = "Mosalith: Failed to write page " + std::to_string(sheet_index + 1) + ": " + path;
  if (canvas.width_px == job.pageWidth && canvas.height_px == job.pageHeight) {
    std::memset(canvas.rgba.data(), 255, canvas.rgba.size());
  } else {
    canvas = imaging::Bitmap();  // the old block goes before the new one is taken
    std::optional<imaging::Bitmap> fresh = imaging::MakeBitmap(job.pageWidth, job.pageHeight, 0xFFFFFFFF, codec.budget());
    if (!fresh) {
      LogLine(failure);
      return false;
    }
    canvas = std::move(*fresh);
  }

  std::vector<bool> filled(cells.size());
  for (size_t i = 0; i < cells.size(); ++i) {
    const int64_t position = static_cast<int64_t>(i);
    const int64_t row = position / job.cols;
    const int64_t col = position % job.cols;
    const CellOrigin origin = CellOriginOf(job, geometry, row, col);
    if (geometry.bleed_px == 0) {
      PastePhoto(canvas, cells[i].photo, origin, geometry.magnet_width_px, geometry.magnet_height_px);
    } else {
      PasteBled(canvas, cells[i].photo, MagnetRectOf(job, geometry, row, col), BleedBoxOf(job, geometry, row, col));
    }
    BlendFrame(canvas, cells[i].frame, origin.x_px, origin.y_px);
    filled[i] = !cells[i].photo.empty();
  }

  DrawCutLines(canvas, job, geometry, filled, counters.colour);
  static const std::vector<uint8_t> kNoProfile;
  const std::vector<uint8_t>& profile = counters.colour != nullptr ? counters.colour->icc_segments : kNoProfile;
  if (!WriteJpeg(canvas, path, job.jpegQuality, codec, SheetDensityDpi(job), profile)) {
    LogLine(failure);
    return false;
  }
  const int64_t saved = counters.saved.fetch_add(1) + 1;
  std::lock_guard<std::mutex> lock(counters.log_lock);
  LogLine("Mosalith: Saved page " + std::to_string(saved) + "/" + std::to_string(job.outputs.size()));
  return true;
}

bool ComposeSheet(const GridJob& job, const SheetGeometry& geometry, size_t sheet_index, ImageCodec& codec,
                  SheetCounters& counters) {
  const SheetPhotos photos = PhotosOfSheet(job, geometry, sheet_index);
  std::vector<PreparedCell> cells;
  cells.reserve(photos.end - photos.first);
  for (size_t index = photos.first; index < photos.end; ++index) {
    cells.push_back(PrepareCell(job, geometry, index, codec, counters));
  }
  imaging::Bitmap canvas;
  return FinishSheet(job, geometry, sheet_index, cells, canvas, codec, counters);
}

}  // namespace mosalith
