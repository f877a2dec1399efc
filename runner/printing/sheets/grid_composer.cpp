// GridComposer: load every photo fitted to its cell, then compose and write the sheets in order.
#include "runner/printing/sheets/grid_composer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <limits>

#include "helper/cut_guides.h"
#include "helper/picture_failure.h"
#include "imaging/colour/colour_transforms.h"
#include "imaging/bitmap.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/graphics.h"
#include "runner/colour_output.h"
#include "runner/log.h"
#include "runner/status_numbers.h"

namespace runner::printing {
namespace {

using imaging::Bitmap;
using platform::GraphicsStatus;
using platform::RectF;

int32_t MillisecondsSince(platform::Clock& clock, std::chrono::steady_clock::time_point start) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now() - start).count();
  return static_cast<int32_t>(std::min<long long>(elapsed, std::numeric_limits<int32_t>::max()));
}

struct LoadedPhoto {
  std::optional<Bitmap> photo;  // scaled to fit its cell and turned to the cell's shape
  std::optional<Bitmap> frame;  // cell-sized, turned with its photo
  std::string photo_failure;    // why there is no photo, when the photo could not be used
  std::string frame_failure;    // why there is no frame, when the frame could not be used
};

// Draws `image` scaled into a new canvas of width x height (cleared to `background`) and takes its pixels.
std::optional<Bitmap> Redraw(const platform::Graphics& graphics, const Bitmap& image, int width, int height,
                             uint32_t background, platform::Filter filter) {
  std::unique_ptr<platform::Canvas> canvas = graphics.CreateCanvas(width, height);
  if (!canvas) return std::nullopt;
  canvas->Clear(background);
  const RectF whole{0, 0, static_cast<double>(width), static_cast<double>(height)};
  if (canvas->DrawBitmap(image, whole, filter) != GraphicsStatus::kOk) return std::nullopt;
  return canvas->Snapshot();
}

// The frame in its own shape, scaled to cover the cell and centred on it, the rest cut off.
std::optional<Bitmap> CoverFrame(const platform::Graphics& graphics, const Bitmap& frame,
                                 const mosalith::SheetGeometry& layout) {
  if (frame.width_px < 1 || frame.height_px < 1) return std::nullopt;
  std::unique_ptr<platform::Canvas> canvas = graphics.CreateCanvas(layout.cell_width_px, layout.cell_height_px);
  if (!canvas) return std::nullopt;
  canvas->Clear(0x00000000);
  const double s = std::max(double(layout.cell_width_px) / frame.width_px, double(layout.cell_height_px) / frame.height_px);
  const double width = s * frame.width_px;
  const double height = s * frame.height_px;
  const RectF dest{(layout.cell_width_px - width) / 2, (layout.cell_height_px - height) / 2, width, height};
  if (canvas->DrawBitmap(frame, dest, platform::Filter::kBicubic) != GraphicsStatus::kOk) return std::nullopt;
  return canvas->Snapshot();
}

// Keeps the part of `image` the fit draws (a covering photo's crop window, bleed included).
std::optional<Bitmap> CropToFit(const platform::Graphics& graphics, const Bitmap& image, const PhotoFit& fit) {
  std::unique_ptr<platform::Canvas> canvas = graphics.CreateCanvas(fit.drawn_width_px, fit.drawn_height_px);
  if (!canvas) return std::nullopt;
  canvas->Clear(0xFFFFFFFF);
  const RectF source{double(fit.source_x_px), double(fit.source_y_px), double(fit.drawn_width_px),
                     double(fit.drawn_height_px)};
  const RectF dest{0, 0, double(fit.drawn_width_px), double(fit.drawn_height_px)};
  if (canvas->DrawBitmapPart(image, source, dest, platform::Filter::kNearest) != GraphicsStatus::kOk) return std::nullopt;
  return canvas->Snapshot();
}

// How the sheets' pictures are turned into the job's output space.
struct SheetColour {
  const imaging::colour::OutputSpace& output;
  imaging::colour::ColourTransforms& transforms;
};

LoadedPhoto LoadPhoto(const platform::Graphics& graphics, const mosalith::GridJob& request,
                      const mosalith::SheetGeometry& layout, size_t index, const SheetColour& colour) {
  LoadedPhoto loaded;
  const std::string& photo_path = request.images[index];
  const std::string no_frame;
  const std::string& frame_path = index < request.frames.size() ? request.frames[index] : no_frame;
  platform::ImageInfo info;
  if (graphics.ReadInfo(photo_path, &info, &loaded.photo_failure) != GraphicsStatus::kOk) return loaded;
  const bool swaps = imaging::OrientationSwapsSides(info.orientation);
  const int upright_width = swaps ? info.height_px : info.width_px;
  const int upright_height = swaps ? info.width_px : info.height_px;
  const bool covers = PhotoCoversMagnet(request);
  const std::vector<mosalith::FaceArea>* faces =
      request.faceAwareCrop && index < request.faces.size() ? &request.faces[index] : nullptr;
  const PhotoFit fit = covers ? CoverPhotoInCell(request, layout, upright_width, upright_height, faces)
                              : FitPhotoInCell(layout, upright_width, upright_height);
  if (fit.scaled_width_px < 1 || fit.scaled_height_px < 1) return loaded;  // too thin to show at this size

  // Decoded at no less than twice the drawn size (a reduced DCT decode, never an embedded thumbnail),
  // then drawn down with an area filter: every source pixel counts, so fine detail averages out instead
  // of turning into moire as a 2 x 2 bilinear sample would.
  platform::DecodeOptions options;
  const int64_t want_width = int64_t{fit.scaled_width_px} * 2;
  const int64_t want_height = int64_t{fit.scaled_height_px} * 2;
  options.min_width_px = static_cast<int>(std::min<int64_t>(swaps ? want_height : want_width, info.width_px));
  options.min_height_px = static_cast<int>(std::min<int64_t>(swaps ? want_width : want_height, info.height_px));
  platform::DecodedImage decoded;
  if (graphics.Decode(photo_path, options, &decoded, &loaded.photo_failure) != GraphicsStatus::kOk) return loaded;
  const Bitmap upright = imaging::ApplyOrientation(std::move(decoded.bitmap), info.orientation, imaging::OrientationSet::kAll);
  std::optional<Bitmap> scaled = Redraw(graphics, upright, fit.scaled_width_px, fit.scaled_height_px, 0xFFFFFFFF,
                                        platform::Filter::kArea);
  if (!scaled) {
    loaded.photo_failure = "out of memory";
    return loaded;
  }
  // Converted at its cell size: the fewest pixels it will have.
  ConvertPicture(*scaled, decoded.colour, colour.output, colour.transforms, photo_path);
  loaded.photo = fit.rotate ? imaging::RotateClockwise(*scaled) : std::move(*scaled);
  if (covers) loaded.photo = CropToFit(graphics, *loaded.photo, fit);
  if (!loaded.photo) return loaded;

  if (!frame_path.empty()) {
    platform::DecodedImage frame;
    platform::DecodeOptions frame_options;
    frame_options.min_width_px = fit.rotate ? layout.cell_height_px : layout.cell_width_px;
    frame_options.min_height_px = fit.rotate ? layout.cell_width_px : layout.cell_height_px;
    if (graphics.Decode(frame_path, frame_options, &frame, &loaded.frame_failure) == GraphicsStatus::kOk) {
      Bitmap frame_upright =
          imaging::ApplyOrientation(std::move(frame.bitmap), frame.info.orientation, imaging::OrientationSet::kAll);
      if (fit.rotate) frame_upright = imaging::RotateClockwise(frame_upright);
      loaded.frame = request.frameFit == mosalith::kFrameFitCover
                         ? CoverFrame(graphics, frame_upright, layout)
                         : Redraw(graphics, frame_upright, layout.cell_width_px, layout.cell_height_px, 0x00000000,
                                  platform::Filter::kBicubic);
      if (loaded.frame) ConvertPicture(*loaded.frame, frame.colour, colour.output, colour.transforms, frame_path);
    }
  }
  return loaded;
}

// Draws a covering photo (magnet and bleed, centred on the magnet) clipped to its bleed box.
GraphicsStatus DrawCovering(platform::Canvas& canvas, const Bitmap& photo, const mosalith::PixelRect& magnet,
                            const mosalith::PixelRect& box) {
  const int64_t x = magnet.x_px + (magnet.width_px - int64_t{photo.width_px}) / 2;
  const int64_t y = magnet.y_px + (magnet.height_px - int64_t{photo.height_px}) / 2;
  const int64_t x0 = std::max(x, box.x_px);
  const int64_t y0 = std::max(y, box.y_px);
  const int64_t x1 = std::min(x + photo.width_px, box.right_px());
  const int64_t y1 = std::min(y + photo.height_px, box.bottom_px());
  if (x1 <= x0 || y1 <= y0) return GraphicsStatus::kOk;
  return canvas.DrawBitmapPart(photo, RectF{double(x0 - x), double(y0 - y), double(x1 - x0), double(y1 - y0)},
                               RectF{double(x0), double(y0), double(x1 - x0), double(y1 - y0)},
                               platform::Filter::kNearest);
}

// The cut guides around the cells `filled` marks, clipped to the page. The lines a request asks for
// only with showCutGrid were never this composer's: it draws the guides of a request that names its
// cutGuides.
void DrawCutGuides(platform::Canvas& canvas, const mosalith::GridJob& request, const mosalith::SheetGeometry& layout,
                   const std::vector<bool>& filled) {
  if (mosalith::GuideStyleOf(request) == mosalith::GuideStyle::kGrid) return;
  const mosalith::Rgb colour = mosalith::CutLineColor(request.cutGridColor);
  const uint32_t argb = 0xFF000000u | uint32_t{colour.r} << 16 | uint32_t{colour.g} << 8 | colour.b;
  for (const mosalith::PixelRect& rect : mosalith::CutGuideRects(request, layout, filled)) {
    const double x0 = std::max<double>(0, static_cast<double>(rect.x_px));
    const double y0 = std::max<double>(0, static_cast<double>(rect.y_px));
    const double x1 = std::min<double>(request.pageWidth, static_cast<double>(rect.right_px()));
    const double y1 = std::min<double>(request.pageHeight, static_cast<double>(rect.bottom_px()));
    if (x1 > x0 && y1 > y0) canvas.FillRect(RectF{x0, y0, x1 - x0, y1 - y0}, argb);
  }
}

// Composes sheet `sheet` on `canvas` (already white), then its cut guides when the request names them.
void ComposeSheet(platform::Canvas& canvas, const mosalith::GridJob& request, const mosalith::SheetGeometry& layout,
                  const std::vector<LoadedPhoto>& photos, size_t sheet) {
  const bool covers = PhotoCoversMagnet(request);
  std::vector<bool> filled;
  for (int64_t cell = 0; cell < layout.cells_per_sheet; ++cell) {
    const int64_t index = static_cast<int64_t>(sheet) * layout.cells_per_sheet + cell;
    if (index >= static_cast<int64_t>(photos.size())) break;
    filled.push_back(false);
    const LoadedPhoto& loaded = photos[static_cast<size_t>(index)];
    if (!loaded.photo) continue;
    const int64_t row = cell / request.cols;
    const int64_t col = cell % request.cols;
    const mosalith::CellOrigin origin = mosalith::CellOriginOf(request, layout, row, col);
    const double cell_x = static_cast<double>(origin.x_px);
    const double cell_y = static_cast<double>(origin.y_px);
    const Bitmap& photo = *loaded.photo;
    if (covers) {
      if (DrawCovering(canvas, photo, mosalith::MagnetRectOf(request, layout, row, col),
                       mosalith::BleedBoxOf(request, layout, row, col)) != GraphicsStatus::kOk) {
        continue;
      }
      filled.back() = true;
      if (loaded.frame) {
        canvas.DrawBitmap(*loaded.frame,
                          RectF{cell_x, cell_y, double(layout.cell_width_px), double(layout.cell_height_px)},
                          platform::Filter::kNearest);
      }
      continue;
    }
    // The photo already has its final size: placed 1:1, centred, a too-large side cropped evenly.
    const int32_t w = photo.width_px;
    const int32_t h = photo.height_px;
    const int32_t ox = std::max(0, (layout.cell_width_px - w) / 2);
    const int32_t oy = std::max(0, (layout.cell_height_px - h) / 2);
    const int32_t sx = std::max(0, (w - layout.cell_width_px) / 2);
    const int32_t sy = std::max(0, (h - layout.cell_height_px) / 2);
    const int32_t dw = std::min(layout.cell_width_px - ox, w - sx);
    const int32_t dh = std::min(layout.cell_height_px - oy, h - sy);
    if (canvas.DrawBitmapPart(photo, RectF{double(sx), double(sy), double(dw), double(dh)},
                              RectF{cell_x + ox, cell_y + oy, double(dw), double(dh)},
                              platform::Filter::kNearest) != GraphicsStatus::kOk) {
      continue;
    }
    filled.back() = true;
    if (loaded.frame) {
      canvas.DrawBitmap(*loaded.frame,
                        RectF{cell_x, cell_y, double(layout.cell_width_px), double(layout.cell_height_px)},
                        platform::Filter::kNearest);
    }
  }
  DrawCutGuides(canvas, request, layout, filled);
}

// Whether sheet `sheet` is composed in this run: the sheets already written are not.
bool SheetComposed(const std::vector<bool>& already_written, size_t sheet) {
  return sheet >= already_written.size() || !already_written[sheet];
}

// Load phase: every photo a sheet still to be composed shows, fitted to its cell; photos that no sheet
// shows (beyond outputs x cells) are never decoded. Photos that could not be used are logged and listed
// in `result.failedImages`, frames only logged; `result.loadTimeMs` gets the phase's time.
std::vector<LoadedPhoto> LoadPhotos(const platform::Graphics& graphics, const mosalith::GridJob& request,
                                    const mosalith::SheetGeometry& layout, const SheetColour& colour,
                                    const std::vector<bool>& already_written, platform::Clock& clock,
                                    GridResult& result) {
  const auto load_start = clock.Now();
  LogLine("DEBUG C++: Starting to load " + std::to_string(request.images.size()) + " images with GDI+...");
  const size_t shown = static_cast<size_t>(std::min<int64_t>(
      static_cast<int64_t>(request.images.size()),
      static_cast<int64_t>(request.outputs.size()) * layout.cells_per_sheet));
  std::vector<LoadedPhoto> photos(shown);
  for (size_t i = 0; i < shown; ++i) {
    if (!SheetComposed(already_written, static_cast<size_t>(static_cast<int64_t>(i) / layout.cells_per_sheet))) {
      continue;
    }
    photos[i] = LoadPhoto(graphics, request, layout, i, colour);
    if (!photos[i].photo_failure.empty()) {
      LogLine("ERROR: " + mosalith::PictureFailureText(mosalith::PictureRole::kPhoto, i, request.images[i],
                                                       photos[i].photo_failure));
      result.failedImages.push_back(FailedImage{static_cast<int32_t>(i), photos[i].photo_failure});
    }
    if (!photos[i].frame_failure.empty()) {
      LogLine("ERROR: " + mosalith::PictureFailureText(mosalith::PictureRole::kFrame, i, request.frames[i],
                                                       photos[i].frame_failure));
    }
    if ((i + 1) % 10 == 0) {
      LogLine("DEBUG C++: Loaded " + std::to_string(i + 1) + "/" + std::to_string(request.images.size()) + " images...");
    }
  }
  result.loadTimeMs = MillisecondsSince(clock, load_start);
  LogLine("DEBUG C++: Loaded " + std::to_string(request.images.size()) + " images in " +
          std::to_string(result.loadTimeMs) + "ms");
  return photos;
}

// What composing and writing the sheets needs.
struct SheetWriter {
  const platform::Graphics& graphics;
  platform::FileSystem& files;
  const mosalith::GridJob& request;
  const mosalith::SheetGeometry& layout;
  const imaging::colour::OutputSpace& space;  // its profile travels in every sheet written
  int quality;
  int density_dpi;
};

enum class SheetWritten { kWritten, kNotWritten, kNoPage };

// Composes sheet `sheet` on a white page, encodes it and writes it to its output. kNotWritten when it
// could not be encoded or saved (logged); kNoPage when the page could not even be created, with
// `*error_message` saying so.
SheetWritten WriteSheet(const SheetWriter& writer, const std::vector<LoadedPhoto>& photos, size_t sheet,
                        std::string* error_message) {
  const mosalith::GridJob& request = writer.request;
  const std::string& output = request.outputs[sheet];
  GraphicsStatus status = GraphicsStatus::kOk;
  std::unique_ptr<platform::Canvas> canvas =
      writer.graphics.CreateCanvas(request.pageWidth, request.pageHeight, &status);
  if (!canvas) {
    *error_message = "Failed to create page " + std::to_string(request.pageWidth) + "x" +
                     std::to_string(request.pageHeight);
    LogLine("DEBUG C++: " + *error_message + ", status=" + std::to_string(runner::GraphicsStatusNumber(status)));
    return SheetWritten::kNoPage;
  }
  canvas->Clear(0xFFFFFFFF);
  ComposeSheet(*canvas, request, writer.layout, photos, sheet);
  std::vector<uint8_t> jpeg;
  int error = 0;
  const std::optional<Bitmap> pixels = canvas->Snapshot();
  canvas.reset();  // the page's pixels are held once while the sheet is encoded
  if (pixels) status = writer.graphics.EncodeJpeg(*pixels, writer.quality, &jpeg, writer.density_dpi);
  if (pixels && status == GraphicsStatus::kOk) CarryProfile(&jpeg, writer.space);
  if (!pixels || status != GraphicsStatus::kOk) {
    LogLine("DEBUG C++: Failed to encode grid image " + output + ", status=" +
            std::to_string(runner::GraphicsStatusNumber(pixels ? status : GraphicsStatus::kOutOfMemory)));
    return SheetWritten::kNotWritten;
  }
  if ((error = writer.files.WriteFile(output, jpeg)) != 0) {
    LogLine("DEBUG C++: Failed to save grid image " + output + ", error=" + std::to_string(error));
    return SheetWritten::kNotWritten;
  }
  return SheetWritten::kWritten;
}

// Compose phase: every sheet still to be written, in order, and `result.composeTimeMs` the phase's
// time. False when a page could not be created: the job ends there, `result.errorMessage` saying why.
// Otherwise `*first_failed` names the first sheet that could not be written, if any.
bool WriteSheets(const SheetWriter& writer, const std::vector<LoadedPhoto>& photos,
                 const std::vector<bool>& already_written, platform::Clock& clock, GridResult& result,
                 std::string* first_failed) {
  const std::vector<std::string>& outputs = writer.request.outputs;
  const auto compose_start = clock.Now();
  for (size_t sheet = 0; sheet < outputs.size(); ++sheet) {
    if (!SheetComposed(already_written, sheet)) continue;
    const SheetWritten written = WriteSheet(writer, photos, sheet, &result.errorMessage);
    if (written == SheetWritten::kNoPage) return false;
    if (written == SheetWritten::kNotWritten && first_failed->empty()) *first_failed = outputs[sheet];
  }
  result.composeTimeMs = MillisecondsSince(clock, compose_start);
  size_t created = 0;
  for (size_t sheet = 0; sheet < outputs.size(); ++sheet) created += SheetComposed(already_written, sheet) ? 1 : 0;
  LogLine("DEBUG C++: Created " + std::to_string(created) + " grid pages in " +
          std::to_string(result.composeTimeMs) + "ms");
  return true;
}

}  // namespace

GridResult GridComposer(const mosalith::GridJob& request, const platform::Graphics* graphics,
                        platform::FileSystem& files, platform::Clock& clock,
                        const std::vector<bool>& already_written, imaging::colour::ColourTransforms* transforms) {
  GridResult result;
  const auto start = clock.Now();
  std::string problem;
  const std::optional<mosalith::SheetGeometry> layout =
      mosalith::ComputeSheetGeometry(request, problem, mosalith::MagnetSizing::kWholeCell);
  if (!layout) {
    LogLine("DEBUG C++: GridComposer - " + problem);
    result.errorMessage = problem;
    return result;
  }
  LogLine("DEBUG C++: GridComposer - " + std::to_string(request.images.size()) + " images, " +
          std::to_string(request.rows) + "x" + std::to_string(request.cols) + " grid, page " +
          std::to_string(request.pageWidth) + "x" + std::to_string(request.pageHeight) + ", cell " +
          std::to_string(layout->cell_width_px) + "x" + std::to_string(layout->cell_height_px) +
          ", cellPortrait=" + (layout->magnet_shape.portrait ? "1" : "0") +
          ", cellLandscape=" + (layout->magnet_shape.landscape ? "1" : "0"));
  if (graphics == nullptr) {
    result.errorMessage = "Failed to initialize GDI+";
    return result;
  }

  const imaging::colour::OutputSpace space =
      OutputSpaceOf(imaging::colour::OutputChoiceFromJobValue(request.colorProfile), &files);
  imaging::colour::ColourTransforms own_transforms(4);
  const SheetColour colour{space, transforms != nullptr ? *transforms : own_transforms};
  std::vector<LoadedPhoto> photos = LoadPhotos(*graphics, request, *layout, colour, already_written, clock, result);

  const SheetWriter writer{*graphics, files, request, *layout, space, mosalith::SheetJpegQuality(request.jpegQuality),
                           mosalith::SheetDensityDpi(request)};
  std::string first_failed;
  if (!WriteSheets(writer, photos, already_written, clock, result, &first_failed)) return result;

  photos.clear();
  result.totalTimeMs = MillisecondsSince(clock, start);
  LogLine("DEBUG C++: TOTAL GridComposer: " + std::to_string(result.totalTimeMs) + "ms");
  if (!first_failed.empty()) {
    result.errorMessage = "Failed to save grid image: " + first_failed;
    return result;
  }
  result.success = true;
  return result;
}

}  // namespace runner::printing
