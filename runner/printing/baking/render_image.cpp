// Render with effects: load, place, stroke and frame one photo on its canvas.
#include "runner/printing/baking/render_image.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "imaging/reduce.h"
#include "runner/colour_output.h"
#include "runner/log.h"
#include "runner/status_numbers.h"

namespace runner::printing {
namespace {

using imaging::Bitmap;
using platform::GraphicsStatus;

constexpr uint32_t kOpaqueWhite = 0xFFFFFFFF;

// The photo's size once `orientation` has turned it upright.
PixelSize OrientedSize(PixelSize size, int orientation) {
  return imaging::OrientationSwapsSides(orientation) ? PixelSize{size.height_px, size.width_px} : size;
}

}  // namespace

std::optional<CanvasPhoto> DecodeScaledImage(const platform::Graphics& graphics, const std::string& path,
                                             PixelSize wanted, int* orientation, std::string* reason) {
  platform::ImageInfo info;
  if (graphics.ReadInfo(path, &info, reason) != GraphicsStatus::kOk) return std::nullopt;
  // The wanted size is upright; a photo stored on its side is compared with its sides exchanged.
  const PixelSize wanted_as_stored = imaging::OrientationSwapsSides(info.orientation)
                                         ? PixelSize{wanted.height_px, wanted.width_px}
                                         : wanted;
  const std::optional<PixelSize> reduced = ReducedDecodeSize(info.width_px, info.height_px, wanted_as_stored);

  platform::DecodeOptions options;
  if (reduced) {
    options.min_width_px = reduced->width_px;
    options.min_height_px = reduced->height_px;
  }
  platform::DecodedImage decoded;
  if (graphics.Decode(path, options, &decoded, reason) != GraphicsStatus::kOk) return std::nullopt;
  *orientation = decoded.info.orientation;
  if (!reduced) {
    const PixelSize size{decoded.bitmap.width_px, decoded.bitmap.height_px};
    return CanvasPhoto{std::move(decoded.bitmap), size, std::move(decoded.colour)};
  }
  LogLine("DEBUG: Scaled decode " + std::to_string(info.width_px) + "x" + std::to_string(info.height_px) + " -> " +
          std::to_string(reduced->width_px) + "x" + std::to_string(reduced->height_px));
  // The decoder's eighths leave the pixels at or a little above the reduced size; they are resampled
  // once, when the photo is drawn.
  return CanvasPhoto{std::move(decoded.bitmap), *reduced, std::move(decoded.colour)};
}

std::optional<CanvasPhoto> LoadImageForCanvas(const platform::Graphics& graphics, const std::string& path,
                                              PixelSize wanted, std::string* reason) {
  int orientation = 1;
  std::optional<CanvasPhoto> photo = DecodeScaledImage(graphics, path, wanted, &orientation, reason);
  if (!photo) {
    platform::DecodedImage decoded;
    const GraphicsStatus status = graphics.Decode(path, platform::DecodeOptions{}, &decoded, reason);
    if (status != GraphicsStatus::kOk) {
      LogLine("ERROR: Failed to load image, status=" + std::to_string(runner::GraphicsStatusNumber(status)));
      return std::nullopt;
    }
    orientation = decoded.info.orientation;
    const PixelSize size{decoded.bitmap.width_px, decoded.bitmap.height_px};
    photo = CanvasPhoto{std::move(decoded.bitmap), size, std::move(decoded.colour)};
  }
  // Orientation comes from the file on both paths, so a photo turns upright whatever its size, mirrored
  // orientations included, as previews and sheets show it.
  photo->pixels = imaging::ApplyOrientation(std::move(photo->pixels), orientation, imaging::OrientationSet::kAll);
  photo->size = OrientedSize(photo->size, orientation);
  return photo;
}

std::optional<Bitmap> ApplyEffects(Bitmap image, const BakeEffects& /*effects*/) {
  if (image.empty() || image.rgba.size() != static_cast<size_t>(image.width_px) * image.height_px * 4) {
    LogLine("ERROR: Failed to lock source bitmap");
    return std::nullopt;
  }
  return image;
}

namespace {

// Whether the render converts into an output space: only with a profile to convert into and a table
// of conversions to do it with.
bool Converts(const RenderColour& colour) {
  return colour.output != nullptr && colour.output->profile && colour.transforms != nullptr;
}

const char* RotateFlag(const BakeRequest& request) { return request.rotate_for_output ? "1" : "0"; }

// The photo the canvas shows: loaded upright at the reduced size `wanted` allows, handed through the
// effects, and converted at that size, before the stroke and the frame are drawn over it. Nothing after
// logging why.
std::optional<CanvasPhoto> LoadEffectPhoto(const platform::Graphics& graphics, const BakeRequest& request,
                                           const RenderColour& colour, PixelSize wanted, std::string* reason) {
  std::optional<CanvasPhoto> loaded = LoadImageForCanvas(graphics, request.source_path, wanted, reason);
  if (!loaded) {
    LogLine("ERROR: Failed to load image");
    return std::nullopt;
  }
  std::optional<Bitmap> effected = ApplyEffects(std::move(loaded->pixels), request.effects);
  if (!effected) {
    LogLine("ERROR: Failed to apply effects");
    return std::nullopt;
  }
  if (Converts(colour)) {
    ConvertPicture(*effected, loaded->colour, *colour.output, *colour.transforms, request.source_path);
  }
  return CanvasPhoto{std::move(*effected), loaded->size};
}

// `photo` a quarter turn clockwise, to be drawn drawn_width_px x drawn_height_px (upright after the turn).
// A photo drawn smaller is reduced to that size first, by the canvases' own reduction, so the turn moves
// the fewer pixels and the canvas only places it; the turn changes no pixel, so the magnet is the same.
Bitmap TurnForOutput(Bitmap photo, int drawn_width_px, int drawn_height_px) {
  const int width = std::min(photo.width_px, drawn_height_px), height = std::min(photo.height_px, drawn_width_px);
  if (width < photo.width_px || height < photo.height_px) {
    // Without the memory for the reduction, the canvas reduces the turned photo as it draws it.
    if (std::optional<Bitmap> reduced = imaging::ReduceBitmap(photo, width, height)) photo = std::move(*reduced);
  }
  return imaging::RotateClockwise(photo);
}

// Turns the photo for output when asked, scales it to cover the canvas times the request's zoom, and
// draws it where the request's offset places it. The photo is taken so that its pixels go as soon as
// they are drawn. False, after logging, when the placement is out of range.
bool DrawPlacedPhoto(platform::Canvas& canvas, const BakeRequest& request, CanvasPhoto photo) {
  const int canvas_width = request.canvas_width_px;
  const int canvas_height = request.canvas_height_px;
  int image_width = photo.size.width_px;
  int image_height = photo.size.height_px;
  LogLine("DEBUG RenderImage: Canvas=" + std::to_string(canvas_width) + "x" + std::to_string(canvas_height) +
          " Image=" + std::to_string(image_width) + "x" + std::to_string(image_height) +
          " Scale=" + FormatLogDouble(request.image_scale) + " Rotate=" + RotateFlag(request));

  double factor = CoverFactor(canvas_width, canvas_height, image_width, image_height, request.rotate_for_output);
  if (request.rotate_for_output) std::swap(image_width, image_height);
  factor *= request.image_scale;
  const std::optional<PhotoPlacement> placement = PlacePhoto(canvas_width, canvas_height, image_width, image_height,
                                                             factor, request.offset_x_px, request.offset_y_px);
  if (!placement) {
    LogLine("ERROR: Photo placement out of range");
    return false;
  }
  LogLine("DEBUG Position: x=" + FormatLogDouble(placement->x) + " y=" + FormatLogDouble(placement->y) +
          " scaledSize=" + std::to_string(placement->drawn_width_px) + "x" +
          std::to_string(placement->drawn_height_px));

  // A zero-size photo draws nothing; the stroke and frame still do.
  if (placement->drawn_width_px == 0 || placement->drawn_height_px == 0) return true;
  if (request.rotate_for_output) {
    photo.pixels = TurnForOutput(std::move(photo.pixels), std::abs(placement->drawn_width_px),
                                 std::abs(placement->drawn_height_px));
  }
  platform::RectF dest{static_cast<double>(placement->left_px), static_cast<double>(placement->top_px),
                       static_cast<double>(placement->drawn_width_px), static_cast<double>(placement->drawn_height_px)};
  // A negative zoom gives a rectangle of negative size, which draws the photo turned half a turn into
  // the rectangle's mirror image (both sides are negative together).
  if (dest.width < 0 && dest.height < 0) {
    photo.pixels = imaging::Rotate180(photo.pixels);
    dest = {dest.x + dest.width, dest.y + dest.height, -dest.width, -dest.height};
  }
  canvas.DrawBitmap(photo.pixels, dest, platform::Filter::kBicubic);
  return true;
}

// The stroke the effects ask for, in the output space's colour when the render converts.
void DrawStroke(platform::Canvas& canvas, const BakeRequest& request, const RenderColour& colour) {
  if (request.effects.stroke <= 0.0f) return;
  const int canvas_width = request.canvas_width_px;
  const int canvas_height = request.canvas_height_px;
  const float pen = StrokePenWidth(request.effects.stroke, request.effects.stroke_scale, canvas_width, canvas_height);
  const CanvasRect outline = StrokeOutline(canvas_width, canvas_height, pen, request.effects.stroke_external);
  const uint32_t stroke_colour = Converts(colour)
                                     ? OutputColour(request.effects.stroke_color, *colour.output, *colour.transforms)
                                     : request.effects.stroke_color;
  canvas.StrokeRect({outline.x, outline.y, outline.width, outline.height}, pen, stroke_colour);
}

// The request's frame over the whole canvas, turned with the photo. A frame that cannot be loaded leaves
// the photo and stroke without one, silently.
void DrawFrame(platform::Canvas& canvas, const platform::Graphics& graphics, const BakeRequest& request,
               const RenderColour& colour) {
  if (request.frame_path.empty()) return;
  const int canvas_width = request.canvas_width_px;
  const int canvas_height = request.canvas_height_px;
  platform::DecodedImage frame;
  // Decoded no larger than the canvas needs (before its turn).
  platform::DecodeOptions frame_options;
  frame_options.min_width_px = request.rotate_for_output ? canvas_height : canvas_width;
  frame_options.min_height_px = request.rotate_for_output ? canvas_width : canvas_height;
  if (graphics.Decode(request.frame_path, frame_options, &frame) != GraphicsStatus::kOk) return;
  if (request.rotate_for_output) frame.bitmap = imaging::RotateClockwise(frame.bitmap);
  if (Converts(colour)) {
    ConvertPicture(frame.bitmap, frame.colour, *colour.output, *colour.transforms, request.frame_path);
  }
  const platform::RectF whole{0, 0, static_cast<double>(canvas_width), static_cast<double>(canvas_height)};
  canvas.DrawBitmap(frame.bitmap, whole, platform::Filter::kBicubic);
}

}  // namespace

std::unique_ptr<platform::Canvas> RenderImageWithEffects(const platform::Graphics& graphics,
                                                         const BakeRequest& request, const RenderColour& colour,
                                                         std::string* reason) {
  const int canvas_width = request.canvas_width_px;
  const int canvas_height = request.canvas_height_px;
  LogLine("DEBUG RenderImage INPUT: Canvas=" + std::to_string(canvas_width) + "x" + std::to_string(canvas_height) +
          " Scale=" + FormatLogDouble(request.image_scale) + " Offset=(" + FormatLogDouble(request.offset_x_px) +
          "," + FormatLogDouble(request.offset_y_px) + ")" + " Rotate=" + RotateFlag(request));

  // A hostile size fails here, before anything is decoded or allocated.
  if (!CanvasSizeAllowed(canvas_width, canvas_height)) {
    LogLine("ERROR: Failed to create canvas");
    return nullptr;
  }
  const PixelSize wanted = WantedDecodeSize(canvas_width, canvas_height);
  LogLine("DEBUG: Required image size=" + std::to_string(wanted.width_px) + "x" + std::to_string(wanted.height_px));

  std::optional<CanvasPhoto> photo = LoadEffectPhoto(graphics, request, colour, wanted, reason);
  if (!photo) return nullptr;

  std::unique_ptr<platform::Canvas> canvas = graphics.CreateCanvas(canvas_width, canvas_height);
  if (!canvas) {
    LogLine("ERROR: Failed to create canvas");
    return nullptr;
  }
  canvas->Clear(kOpaqueWhite);
  if (!DrawPlacedPhoto(*canvas, request, std::move(*photo))) return nullptr;
  photo.reset();
  DrawStroke(*canvas, request, colour);
  DrawFrame(*canvas, graphics, request, colour);
  return canvas;
}

}  // namespace runner::printing
