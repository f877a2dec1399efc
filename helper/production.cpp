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

namespace {

// The job's sheet geometry, or nothing after logging why the job cannot be produced: a job that cannot
// be laid out, or a page that cannot be held even once, is refused before any work starts.
std::optional<SheetGeometry> CheckedGeometry(const GridJob& job, imaging::MemoryBudget* budget) {
  std::string problem;
  std::optional<SheetGeometry> geometry = ComputeSheetGeometry(job, problem);
  if (!geometry) {
    LogLine("Mosalith: " + problem);
    return std::nullopt;
  }
  const uint64_t page_bytes = uint64_t{4} * static_cast<uint32_t>(job.pageWidth) * static_cast<uint32_t>(job.pageHeight);
  if (!imaging::SizeWithinLimits(job.pageWidth, job.pageHeight) ||
      (budget != nullptr && !budget->CanEverTake(page_bytes))) {
    LogLine("Mosalith: Cannot allocate a " + std::to_string(job.pageWidth) + "x" +
            std::to_string(job.pageHeight) + " page");
    return std::nullopt;
  }
  return geometry;
}

struct Task {
  size_t sheet;
  size_t slot;  // the cell's place within its sheet; unused for a sheet without photos
};

struct SheetWork {
  std::vector<PreparedCell> cells;
  std::atomic<size_t> remaining{0};  // cells still to prepare; the worker that takes it to 0 finishes the sheet
};

// What the workers share. Tasks and sheets are laid out before any worker starts; a worker takes the
// next task from `next_task` and touches only that task's cell, and its sheet once the last cell is in.
struct Production {
  Production(const GridJob& the_job, const SheetGeometry& the_geometry, imaging::MemoryBudget* the_budget)
      : job(the_job), geometry(the_geometry), budget(the_budget), sheets(the_job.outputs.size()) {}

  const GridJob& job;
  const SheetGeometry& geometry;
  imaging::MemoryBudget* budget;
  std::vector<Task> tasks;
  std::vector<SheetWork> sheets;
  SheetCounters counters;
  std::atomic<size_t> next_task{0};
  std::atomic<bool> any_failed{false};
};

// One task per photo cell in sheet and cell order, and one for each sheet without photos.
void PlanTasks(Production& production) {
  const GridJob& job = production.job;
  for (size_t sheet = 0; sheet < job.outputs.size(); ++sheet) {
    const SheetPhotos photos = PhotosOfSheet(job, production.geometry, sheet);
    const size_t count = photos.end - photos.first;
    production.sheets[sheet].cells.resize(count);
    production.sheets[sheet].remaining.store(count);
    if (count == 0) production.tasks.push_back(Task{sheet, 0});
    for (size_t slot = 0; slot < count; ++slot) production.tasks.push_back(Task{sheet, slot});
  }
}

// One worker: takes tasks until none are left, preparing cells and finishing the sheets whose last cell
// it prepared. Its codec and its page canvas are its own, the canvas kept from sheet to sheet.
void RunWorker(Production& production) {
  const GridJob& job = production.job;
  const SheetGeometry& geometry = production.geometry;
  ImageCodec codec(production.budget);
  imaging::Bitmap canvas;
  for (size_t t = production.next_task.fetch_add(1); t < production.tasks.size();
       t = production.next_task.fetch_add(1)) {
    const Task task = production.tasks[t];
    SheetWork& sheet = production.sheets[task.sheet];
    if (!sheet.cells.empty()) {
      const size_t index = PhotosOfSheet(job, geometry, task.sheet).first + task.slot;
      sheet.cells[task.slot] = PrepareCell(job, geometry, index, codec, production.counters);
      // The last cell done finishes the sheet; acq_rel makes every other worker's cell visible here.
      if (sheet.remaining.fetch_sub(1, std::memory_order_acq_rel) != 1) continue;
    }
    if (!FinishSheet(job, geometry, task.sheet, sheet.cells, canvas, codec, production.counters)) {
      production.any_failed.store(true);
    }
    sheet.cells.clear();
    sheet.cells.shrink_to_fit();
  }
}

// Starts `threads` workers and waits for all that started. False when one could not be started: the
// workers already running still finish every task.
bool RunWorkers(Production& production, int threads) {
  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(threads));
  bool started = true;
  for (int i = 0; i < threads; ++i) {
    try {
      workers.emplace_back([&production] { RunWorker(production); });
    } catch (const std::system_error& error) {
      LogLine(std::string("Mosalith: Failed to start worker thread: ") + error.what());
      started = false;
      break;
    }
  }
  for (std::thread& worker : workers) worker.join();
  return started;
}

}  // namespace

int WorkerCount(unsigned logical_processors) {
  return static_cast<int>(std::clamp<unsigned>(logical_processors, 1, kMaxWorkers));
}

ProductionStatus RunProduction(const GridJob& job, int worker_count, imaging::MemoryBudget* budget) {
  const auto start = std::chrono::steady_clock::now();
  const std::optional<SheetGeometry> geometry = CheckedGeometry(job, budget);
  if (!geometry) return ProductionStatus::kInvalidJob;

  const int threads = std::max(worker_count, 1);
  LogLine("Mosalith: " + std::to_string(job.images.size()) + " images, " + std::to_string(job.rows) + "x" +
          std::to_string(job.cols) + " grid, cell " + std::to_string(geometry->cell_width_px) + "x" +
          std::to_string(geometry->cell_height_px) + ", threads=" + std::to_string(threads));

  Production production(job, *geometry, budget);
  PlanTasks(production);
  const SheetColour colour = SheetColourOf(job);
  production.counters.colour = &colour;
  const bool started = RunWorkers(production, threads);

  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  LogLine("Mosalith: Total time: " + std::to_string(elapsed.count()) + "ms");
  if (!started) return ProductionStatus::kWorkerStartFailed;
  return production.any_failed.load() ? ProductionStatus::kSheetsFailed : ProductionStatus::kOk;
}

}  // namespace mosalith
