// CreateGridImagesWithHelper: job file, helper run, captured output, fallback.
#include "runner/printing/sheets/sheet_job.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string_view>
#include <vector>

#include "helper/picture_failure.h"
#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/process_runner.h"
#include "runner/insight/photo_faces.h"
#include "runner/log.h"
#include "runner/printing/sheets/grid_composer.h"
#include "runner/printing/sheets/grid_job_writer.h"
#include "runner/printing/sheets/sheet_checks.h"
#include "runner/services.h"
#include "runner/thread_registry.h"

namespace runner::printing {
namespace {

GridResult RunSheetJob(const mosalith::GridJob& request, const SheetJobContext& context);

int32_t MillisecondsSince(platform::Clock& clock, std::chrono::steady_clock::time_point start) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now() - start).count();
  return static_cast<int32_t>(std::min<long long>(elapsed, INT32_MAX));
}

GridResult Fallback(const mosalith::GridJob& request, const SheetJobContext& context,
                    const std::vector<bool>& written_by_helper = {}) {
  return GridComposer(request, context.graphics, *context.files, *context.clock, written_by_helper, context.colour);
}

// The photos the helper named as skipped, from its output lines, in images order.
std::vector<FailedImage> PhotosTheHelperSkipped(const std::string& output) {
  std::vector<FailedImage> failed;
  size_t start = 0;
  while (start < output.size()) {
    size_t end = output.find('\n', start);
    if (end == std::string::npos) end = output.size();
    const std::optional<mosalith::PictureFailure> failure =
        mosalith::ParsePictureFailureLine(std::string_view(output).substr(start, end - start));
    if (failure && failure->role == mosalith::PictureRole::kPhoto && failure->index <= INT32_MAX) {
      failed.push_back(FailedImage{static_cast<int32_t>(failure->index), failure->reason});
    }
    start = end + 1;
  }
  std::sort(failed.begin(), failed.end(), [](const FailedImage& a, const FailedImage& b) { return a.index < b.index; });
  return failed;
}

using Identities = std::vector<std::optional<platform::FileIdentity>>;

Identities IdentitiesOf(const std::vector<std::string>& paths, platform::FileSystem& files) {
  Identities identities;
  identities.reserve(paths.size());
  for (const std::string& path : paths) identities.push_back(files.IdentityOf(path));
  return identities;
}

// The sheets a failed helper still wrote: it writes each sheet under a new name and renames it into
// place, so a written sheet is a file that was not there before the run.
std::vector<bool> SheetsWrittenSince(const std::vector<std::string>& outputs, const Identities& before,
                                     platform::FileSystem& files) {
  std::vector<bool> written(outputs.size(), false);
  for (size_t i = 0; i < outputs.size(); ++i) {
    const std::optional<platform::FileIdentity> now = files.IdentityOf(outputs[i]);
    written[i] = now.has_value() && now != before[i];
  }
  return written;
}

}  // namespace

SheetJobContext SheetJobContextOf(const Services& services) {
  SheetJobContext context;
  context.files = services.files;
  context.processes = services.processes;
  context.graphics = services.graphics;
  context.clock = services.clock;
  context.colour = services.colour;
  context.faces = services.face_detector;
  context.mosalith_path = services.mosalith_path;
  context.process_id = services.process_id;
  ThreadRegistry* const threads = services.threads;
  context.stopping = [threads] { return threads != nullptr && threads->stopping(); };
  return context;
}

GridResult CreateGridImagesWithHelper(const mosalith::GridJob& request, const SheetJobContext& context) {
  LogLine("DEBUG C++: CreateGridImagesWithHelper called!");
  if (request.faceAwareCrop && request.faces.empty() && context.graphics != nullptr &&
      !SheetRequestProblem(request)) {
    mosalith::GridJob with_faces = request;
    with_faces.faces.resize(request.images.size());
    const std::vector<insight::PhotoFaces> found =
        insight::FindPhotoFaces(request.images, *context.graphics, context.faces, context.stopping);
    size_t count = 0;
    for (size_t i = 0; i < found.size(); ++i) {
      with_faces.faces[i] = found[i].faces;
      if (with_faces.faces[i].size() > mosalith::kMaxFacesPerPhoto) with_faces.faces[i].resize(mosalith::kMaxFacesPerPhoto);
      count += with_faces.faces[i].size();
    }
    LogLine("DEBUG C++: Found " + std::to_string(count) + " faces in " + std::to_string(request.images.size()) +
            " photos for face-aware crops");
    return RunSheetJob(with_faces, context);
  }
  return RunSheetJob(request, context);
}

namespace {

GridResult RunSheetJob(const mosalith::GridJob& request, const SheetJobContext& context) {
  if (context.files == nullptr || context.processes == nullptr || context.clock == nullptr) {
    return GridResult{false, "Sheet jobs are not available", 0, 0, 0, {}};
  }
  // Refused before anything is written, whichever composer would run.
  std::optional<std::string> refusal = SheetRequestProblem(request);
  if (!refusal) refusal = OutputNamingAnInput(request, *context.files);
  if (refusal) {
    LogLine("DEBUG C++: Sheet job refused: " + *refusal);
    return GridResult{false, *refusal, 0, 0, 0, {}};
  }
  const auto start = context.clock->Now();
  const std::string& helper = context.mosalith_path;
  LogLine("DEBUG C++: Looking for helper at: " + helper);
  if (!request.images.empty()) LogLine("DEBUG C++: First image path: " + request.images.front());
  if (helper.empty() || !context.files->IsRegularFile(helper)) {
    LogLine("DEBUG C++: mosalith.exe not found, using fallback");
    return Fallback(request, context);
  }
  LogLine(std::string("DEBUG C++: CreateGridImagesWithHelper showCutGrid=") + (request.showCutGrid ? "1" : "0") +
          ", widthMm=" + mosalith::FormatJobReal(request.cutGridWidthMm) + ", cutGridColor=" + request.cutGridColor);

  if (context.stopping && context.stopping()) {
    return GridResult{false, "Sheet job stopped: the application is closing", 0, 0, 0, {}};
  }
  // The helper writes its sheets under temporary names there: journalled, so a killed helper's are found.
  for (const std::string& output : request.outputs) context.files->NoteWritingIn(platform::FolderOfPath(output));
  const std::string job_file = WriteGridJobFile(request, *context.files, context.process_id);
  if (job_file.empty()) return GridResult{false, "Failed to create config file", 0, 0, 0, {}};
  LogLine("DEBUG C++: Config file created with " + std::to_string(request.images.size()) + " images, " +
          std::to_string(request.outputs.size()) + " outputs");
  LogLine("DEBUG C++: Running mosalith.exe...");

  const Identities before = IdentitiesOf(request.outputs, *context.files);
  platform::ProcessOutcome outcome;
  try {
    outcome = context.processes->Run(helper, {job_file});
  } catch (...) {
    (void)context.files->RemoveFile(job_file);  // the job file never outlives its job
    throw;
  }
  if (!outcome.start.ok()) {
    (void)context.files->RemoveFile(job_file);
    LogLine("DEBUG C++: Failed to start mosalith.exe, using fallback");
    return Fallback(request, context);
  }
  if (outcome.wait_failed) LogLine("DEBUG C++: WaitForSingleObject failed");
  LogRelayedLines(outcome.output);
  (void)context.files->RemoveFile(job_file);

  const int32_t total_ms = MillisecondsSince(*context.clock, start);
  if (outcome.exit_code == 0 && !outcome.wait_failed) {
    LogLine("DEBUG C++: mosalith completed in " + std::to_string(total_ms) + "ms");
    return GridResult{true, "", 0, 0, total_ms, PhotosTheHelperSkipped(outcome.output)};
  }
  if (context.stopping && context.stopping()) {
    // The helper was stopped because the application is closing: nobody waits for a fallback.
    LogEndingLine("DEBUG C++: mosalith stopped (exit=" + std::to_string(outcome.exit_code) + "), the application is closing");
    return GridResult{false, "Sheet job stopped: the application is closing", 0, 0, total_ms, {}};
  }
  LogLine("DEBUG C++: mosalith failed (exit=" + std::to_string(outcome.exit_code) + "), using fallback");
  // Sheets the helper did write are complete (it renames each into place) and carry what the in-process
  // composer cannot draw (effects, cut lines): they are kept, and only the others are composed.
  const std::vector<bool> written = SheetsWrittenSince(request.outputs, before, *context.files);
  const auto kept = std::count(written.begin(), written.end(), true);
  if (kept > 0) {
    LogLine("DEBUG C++: mosalith wrote " + std::to_string(kept) + " of " + std::to_string(written.size()) +
            " sheets; composing the other " + std::to_string(static_cast<long>(written.size()) - kept));
  }
  return Fallback(request, context, written);
}

}  // namespace
}  // namespace runner::printing
