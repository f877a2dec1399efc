// The sheet production of a job: geometry once, a pool of workers sharing per-cell tasks, timing.
#pragma once

#include "helper/grid_job.h"
#include "helper/image_io.h"

namespace mosalith {

enum class ProductionStatus {
  kOk,                  // every sheet was written
  kInvalidJob,          // the job cannot be laid out (bad grid, page or margins); nothing was written
  kSheetsFailed,        // all sheets were attempted but at least one could not be written
  kWorkerStartFailed,   // a worker thread could not be started; sheets may be missing
};

// Most workers started, whatever the machine: each may hold one whole canvas in memory.
inline constexpr int kMaxWorkers = 8;

// Workers for a machine that reports `logical_processors`: at least 1 (a platform that reports 0 still
// produces its sheets), at most kMaxWorkers.
int WorkerCount(unsigned logical_processors);

// Produces every sheet of `job` on `worker_count` threads (at least 1 is used). The work is one task
// per photo cell, taken in sheet and cell order from a shared atomic counter (a sheet without photos is
// one task of its own), so every worker is busy even on a one-sheet job; the worker that finishes the
// last cell of a sheet composes, encodes and writes it at once. Sheets come out byte-identical whatever
// the number of workers: cells are prepared independently and laid on the canvas in cell order.
// Each worker decodes and encodes through its own ImageCodec; every pixel buffer draws on `budget`
// (none: not counted), so workers wait for memory when the photos, canvases and encoders of the others
// hold it, and a page or picture larger than the whole budget fails instead of being tried.
// Prints the job line "Mosalith: N images, RxC grid, cell WxH, threads=T" before starting and
// "Mosalith: Total time: Nms" after joining; an invalid layout is reported with one "Mosalith: " line
// instead. A worker that cannot be started is reported; the ones already running finish and are joined.
// Thread safety: blocks the caller until every worker has been joined; `job` must not change meanwhile.
ProductionStatus RunProduction(const GridJob& job, int worker_count, imaging::MemoryBudget* budget);

}  // namespace mosalith
