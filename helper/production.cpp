// The worker pool: sheet indices from an atomic counter, one whole sheet per worker at a time.
#include "helper/production.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "helper/log.h"
#include "helper/sheet.h"
#include "helper/sheet_geometry.h"

namespace mosalith {

int WorkerCount(unsigned logical_processors) {
  return static_cast<int>(std::clamp<unsigned>(logical_processors, 1, kMaxWorkers));
}

ProductionStatus RunProduction(const GridJob& job, int worker_count) {
  const auto start = std::chrono::steady_clock::now();

  std::string problem;
  const std::optional<SheetGeometry> geometry = ComputeSheetGeometry(job, problem);
  if (!geometry) {
    LogLine("Mosalith: " + problem);
    return ProductionStatus::kInvalidJob;
  }
  // A page that cannot be held even once cannot be produced at all: say so before any work starts.
  if (!ImageBuffer::Allocate(job.pageWidth, job.pageHeight)) {
    LogLine("Mosalith: Cannot allocate a " + std::to_string(job.pageWidth) + "x" +
            std::to_string(job.pageHeight) + " page");
    return ProductionStatus::kInvalidJob;
  }

  const int threads = std::max(worker_count, 1);
  LogLine("Mosalith: " + std::to_string(job.images.size()) + " images, " + std::to_string(job.rows) + "x" +
          std::to_string(job.cols) + " grid, cell " + std::to_string(geometry->cell_width_px) + "x" +
          std::to_string(geometry->cell_height_px) + ", threads=" + std::to_string(threads));

  SheetCounters counters;
  std::atomic<size_t> next_sheet{0};
  std::atomic<bool> any_failed{false};
  auto work = [&] {
    for (size_t sheet = next_sheet.fetch_add(1); sheet < job.outputs.size(); sheet = next_sheet.fetch_add(1)) {
      if (!ComposeSheet(job, *geometry, sheet, counters)) any_failed.store(true);
    }
  };

  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(threads));
  bool start_failed = false;
  for (int i = 0; i < threads; ++i) {
    try {
      workers.emplace_back(work);
    } catch (const std::system_error& error) {
      LogLine(std::string("Mosalith: Failed to start worker thread: ") + error.what());
      start_failed = true;
      break;
    }
  }
  for (std::thread& worker : workers) worker.join();

  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  LogLine("Mosalith: Total time: " + std::to_string(elapsed.count()) + "ms");
  if (start_failed) return ProductionStatus::kWorkerStartFailed;
  return any_failed.load() ? ProductionStatus::kSheetsFailed : ProductionStatus::kOk;
}

}  // namespace mosalith
