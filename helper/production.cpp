// The worker pool: per-cell tasks from an atomic counter; the last cell of a sheet finishes the sheet.
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

ProductionStatus RunProduction(const GridJob& job, int worker_count, imaging::MemoryBudget* budget) {
  const auto start = std::chrono::steady_clock::now();

  std::string problem;
  const std::optional<SheetGeometry> geometry = ComputeSheetGeometry(job, problem);
  if (!geometry) {
    LogLine("Mosalith: " + problem);
    return ProductionStatus::kInvalidJob;
  }
  // A page that cannot be held even once cannot be produced at all: say so before any work starts.
  const uint64_t page_bytes = uint64_t{4} * static_cast<uint32_t>(job.pageWidth) * static_cast<uint32_t>(job.pageHeight);
  if (!imaging::SizeWithinLimits(job.pageWidth, job.pageHeight) ||
      (budget != nullptr && !budget->CanEverTake(page_bytes))) {
    LogLine("Mosalith: Cannot allocate a " + std::to_string(job.pageWidth) + "x" +
            std::to_string(job.pageHeight) + " page");
    return ProductionStatus::kInvalidJob;
  }

  const int threads = std::max(worker_count, 1);
  LogLine("Mosalith: " + std::to_string(job.images.size()) + " images, " + std::to_string(job.rows) + "x" +
          std::to_string(job.cols) + " grid, cell " + std::to_string(geometry->cell_width_px) + "x" +
          std::to_string(geometry->cell_height_px) + ", threads=" + std::to_string(threads));

  // One task per photo cell in sheet and cell order, and one for each sheet without photos.
  struct Task {
    size_t sheet;
    size_t slot;  // the cell's place within its sheet; unused for a sheet without photos
  };
  struct SheetWork {
    std::vector<PreparedCell> cells;
    std::atomic<size_t> remaining{0};
  };
  std::vector<Task> tasks;
  std::vector<SheetWork> sheets(job.outputs.size());
  for (size_t sheet = 0; sheet < job.outputs.size(); ++sheet) {
    const SheetPhotos photos = PhotosOfSheet(job, *geometry, sheet);
    const size_t count = photos.end - photos.first;
    sheets[sheet].cells.resize(count);
    sheets[sheet].remaining.store(count);
    if (count == 0) tasks.push_back(Task{sheet, 0});
    for (size_t slot = 0; slot < count; ++slot) tasks.push_back(Task{sheet, slot});
  }

  const SheetColour colour = SheetColourOf(job);
  SheetCounters counters;
  counters.colour = &colour;
  std::atomic<size_t> next_task{0};
  std::atomic<bool> any_failed{false};
  auto work = [&] {
    ImageCodec codec(budget);
    imaging::Bitmap canvas;  // kept from sheet to sheet
    for (size_t t = next_task.fetch_add(1); t < tasks.size(); t = next_task.fetch_add(1)) {
      const Task task = tasks[t];
      SheetWork& sheet = sheets[task.sheet];
      if (!sheet.cells.empty()) {
        const size_t index = PhotosOfSheet(job, *geometry, task.sheet).first + task.slot;
        sheet.cells[task.slot] = PrepareCell(job, *geometry, index, codec, counters);
        // The last cell done finishes the sheet; acq_rel makes every other worker's cell visible here.
        if (sheet.remaining.fetch_sub(1, std::memory_order_acq_rel) != 1) continue;
      }
      if (!FinishSheet(job, *geometry, task.sheet, sheet.cells, canvas, codec, counters)) any_failed.store(true);
      sheet.cells.clear();
      sheet.cells.shrink_to_fit();
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
