// Bake single image: render, colour profile, unique file name, JPEG, result.
#include "runner/printing/baking/bake_single_image.h"

#include <exception>
#include <memory>
#include <optional>
#include <vector>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/graphics.h"
#include "imaging/colour/colour_transforms.h"
#include "imaging/colour/output_space.h"
#include "runner/colour_output.h"
#include "runner/log.h"
#include "runner/printing/baking/bake_geometry.h"
#include "runner/printing/baking/color_profiles.h"
#include "runner/printing/baking/bake_shared.h"
#include "runner/printing/baking/render_image.h"
#include "runner/status_numbers.h"

namespace runner::printing {
namespace {

using platform::GraphicsStatus;

BakeResult Failure(int32_t index, std::string text) {
  BakeResult result;
  result.index = index;
  result.error = std::move(text);
  return result;
}

std::string SaveFailure(GraphicsStatus status) {
  return "Failed to save baked image, GDI+ status=" + std::to_string(runner::GraphicsStatusNumber(status));
}

// Writes `bytes` under the first free name of the folder: written once, then offered name after name
// until one is free. The path, or nothing with `*status` set.
std::optional<std::string> WriteUnderFreeName(const BakeTools& tools, int32_t index, const std::string& folder,
                                              const std::vector<uint8_t>& bytes, GraphicsStatus* status) {
  base::StatusOr<std::unique_ptr<platform::PendingFile>> file = tools.files->StartFile(folder, 0644);
  base::Status failed = file.ok() ? (*file)->Write(bytes.data(), bytes.size()) : file.status();
  for (int attempt = 0; failed.ok() && attempt < kMaxNameAttempts; ++attempt) {
    const uint32_t counter = tools.shared->file_counter.fetch_add(1);
    const LocalTime now = ToLocalTime(tools.clock->WallNow());
    const std::string path = folder + "/" + BakedFileName(index, now, counter);
    failed = (*file)->Publish(path, platform::PublishMode::kNoReplace);
    if (failed.ok()) return path;
    if (failed.Is(base::Status::Code::kAlreadyExists)) failed = base::Status::Ok();
  }
  // The save's number has always told only these apart; a name never free counts as any other failure.
  switch (failed.code()) {
    case GraphicsStatus::kNotFound:
    case GraphicsStatus::kAccessDenied:
    case GraphicsStatus::kOutOfMemory: *status = failed.code(); break;
    default: *status = GraphicsStatus::kIoError; break;
  }
  return std::nullopt;
}

// The bake's steps; exceptions leave it with the canvas already released.
BakeResult BakeOrThrow(const BakeTools& tools, const BakeRequest& request, int32_t index,
                       const std::string& output_folder, const std::string& profile_id, int quality,
                       const imaging::colour::OutputSpace& output) {
  const std::string p = "DEBUG: BakeSingleImage [" + std::to_string(index);
  LogLine(p + "] starting with color profile: " + profile_id);
  if (!request.refusal.empty()) {
    LogLine("ERROR: BakeSingleImage [" + std::to_string(index) + "] refused: " + request.refusal);
    return Failure(index, request.refusal);
  }
  if (tools.graphics == nullptr || tools.shared == nullptr) return Failure(index, "Failed to initialize GDI+");

  // The graphics library runs for as long as its adapter lives: the start and shutdown lines keep the
  // log's shape, nothing is started here.
  LogLine(p + "] GDI+ initialized");
  LogLine(p + "] calling RenderImageWithEffects");
  imaging::colour::ColourTransforms own_transforms(2);
  const RenderColour colour{&output, tools.colour != nullptr ? tools.colour : &own_transforms};
  std::string reason;
  std::unique_ptr<platform::Canvas> canvas = RenderImageWithEffects(*tools.graphics, request, colour, &reason);
  LogLine(p + "] RenderImageWithEffects returned");
  if (!canvas) {
    BakeResult failed = Failure(index, "Failed to render image with effects");
    if (!reason.empty()) {
      LogLine("ERROR: Bake photo " + std::to_string(index) + " (" + request.source_path + "): " + reason);
      failed.reason = std::move(reason);
    }
    return failed;
  }

  LogLine(p + "] keeping ARGB format");
  LogLine(p + "] applying color profile: " + profile_id);
  ApplyColorProfile(true, profile_id, output);

  LogLine(p + "] generating filename");
  LogLine(p + "] saving bitmap");
  std::optional<imaging::Bitmap> pixels = canvas->Snapshot();
  if (!pixels) return Failure(index, SaveFailure(GraphicsStatus::kOutOfMemory));
  std::vector<uint8_t> jpeg;
  const GraphicsStatus encoded = tools.graphics->EncodeJpeg(*pixels, quality, &jpeg);
  pixels.reset();
  if (encoded != GraphicsStatus::kOk) return Failure(index, SaveFailure(encoded));
  CarryProfile(&jpeg, output);
  if (tools.files == nullptr || tools.clock == nullptr) return Failure(index, SaveFailure(GraphicsStatus::kIoError));
  GraphicsStatus write_status = GraphicsStatus::kOk;
  const std::optional<std::string> path = WriteUnderFreeName(tools, index, output_folder, jpeg, &write_status);
  if (!path) return Failure(index, SaveFailure(write_status));

  LogLine(p + "] releasing bitmap");
  canvas.reset();
  LogLine(p + "] bitmap released");
  LogLine(p + "] shutting down GDI+");
  LogLine(p + "] GDI+ shutdown complete");
  LogLine(p + "] creating result object");
  BakeResult result;
  result.baked_path = *path;
  result.success = true;
  result.index = index;
  LogLine(p + "] returning result");
  return result;
}

}  // namespace

BakeResult BakeSingleImage(const BakeTools& tools, const BakeRequest& request, int32_t index,
                           const std::string& output_folder, const std::string& profile_id, int quality,
                           const imaging::colour::OutputSpace* output) {
  try {
    if (output != nullptr) return BakeOrThrow(tools, request, index, output_folder, profile_id, quality, *output);
    const imaging::colour::OutputSpace own =
        OutputSpaceOf(imaging::colour::OutputChoiceFromSelection(profile_id), tools.files);
    return BakeOrThrow(tools, request, index, output_folder, profile_id, quality, own);
  } catch (const std::exception& e) {
    LogLine("ERROR: BakeSingleImage [" + std::to_string(index) + "] exception: " + e.what());
    return Failure(index, std::string("Exception during baking: ") + e.what());
  } catch (...) {
    LogLine("ERROR: BakeSingleImage [" + std::to_string(index) + "] unknown exception");
    return Failure(index, "Unknown exception during baking");
  }
}

}  // namespace runner::printing
