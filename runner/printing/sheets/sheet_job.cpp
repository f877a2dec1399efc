// CreateGridImagesWithHelper: job file, helper run, captured output, fallback.
#include "runner/printing/sheets/sheet_job.h"

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "platform/process_runner.h"
#include "runner/log.h"
#include "runner/printing/sheets/grid_composer.h"
#include "runner/printing/sheets/grid_job_writer.h"
#include "runner/services.h"
#include "runner/thread_registry.h"

namespace runner::printing {
namespace {

int32_t MillisecondsSince(platform::Clock& clock, std::chrono::steady_clock::time_point start) {
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(clock.Now() - start).count();
  return static_cast<int32_t>(std::min<long long>(elapsed, INT32_MAX));
}

GridResult Fallback(const SheetRequest& request, const SheetJobContext& context) {
  return GridComposer(request, context.graphics, *context.files, *context.clock);
}

}  // namespace

SheetJobContext SheetJobContextOf(const Services& services) {
  SheetJobContext context;
  context.files = services.files;
  context.processes = services.processes;
  context.graphics = services.graphics;
  context.clock = services.clock;
  context.mosalith_path = services.mosalith_path;
  context.process_id = services.process_id;
  ThreadRegistry* const threads = services.threads;
  context.stopping = [threads] { return threads != nullptr && threads->stopping(); };
  return context;
}

GridResult CreateGridImagesWithHelper(const SheetRequest& request, const SheetJobContext& context) {
  LogLine("DEBUG C++: CreateGridImagesWithHelper called!");
  if (context.files == nullptr || context.processes == nullptr || context.clock == nullptr) {
    return GridResult{false, "Sheet jobs are not available", 0, 0, 0};
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
          ", widthMm=" + FormatJobReal(request.cutGridWidthMm) + ", cutGridColor=" + request.cutGridColor);

  if (context.stopping && context.stopping()) {
    return GridResult{false, "Sheet job stopped: the application is closing", 0, 0, 0};
  }
  const std::string job_file = WriteGridJobFile(request, *context.files, context.process_id);
  if (job_file.empty()) return GridResult{false, "Failed to create config file", 0, 0, 0};
  LogLine("DEBUG C++: Config file created with " + std::to_string(request.images.size()) + " images, " +
          std::to_string(request.outputs.size()) + " outputs");
  LogLine("DEBUG C++: Running mosalith.exe...");

  platform::ProcessOutcome outcome;
  try {
    outcome = context.processes->Run(helper, {job_file});
  } catch (...) {
    context.files->RemoveFile(job_file);  // the job file never outlives its job
    throw;
  }
  if (!outcome.started) {
    context.files->RemoveFile(job_file);
    LogLine("DEBUG C++: Failed to start mosalith.exe, using fallback");
    return Fallback(request, context);
  }
  if (outcome.wait_failed) LogLine("DEBUG C++: WaitForSingleObject failed");
  if (!outcome.output.empty()) LogText(outcome.output);
  context.files->RemoveFile(job_file);

  const int32_t total_ms = MillisecondsSince(*context.clock, start);
  if (outcome.exit_code == 0 && !outcome.wait_failed) {
    LogLine("DEBUG C++: mosalith completed in " + std::to_string(total_ms) + "ms");
    return GridResult{true, "", 0, 0, total_ms};
  }
  if (context.stopping && context.stopping()) {
    // The helper was stopped because the application is closing: nobody waits for a fallback.
    LogLine("DEBUG C++: mosalith stopped (exit=" + std::to_string(outcome.exit_code) + "), the application is closing");
    return GridResult{false, "Sheet job stopped: the application is closing", 0, 0, total_ms};
  }
  LogLine("DEBUG C++: mosalith failed (exit=" + std::to_string(outcome.exit_code) + "), using fallback");
  return Fallback(request, context);
}

}  // namespace runner::printing
