// Bake orchestration: every accepted request of "bakeImagesForPrinting" baked on a pool of at most 8 worker
// threads while the calling thread (a worker of the bake lane, never the platform thread) waits, with one
// result per accepted request.
//
// The pool hands out work one image at a time through a shared claim counter; each worker writes only the
// result entries it claimed, and the joins order those writes before the results are read. The bake of
// one image is a function the pool is given (BakeSingleImage in the program), so tests can put their
// own in its place, and so is the way a worker thread is started.
// Thread safety: one bake per calling thread; it blocks until every worker has been joined.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "runner/printing/baking/bake_records.h"

namespace platform {
class Clock;
class FileSystem;
}  // namespace platform

namespace runner::printing {

// Bakes one request: (request, index, output folder, profile id, quality) -> result. May throw; the pool
// turns an exception into that image's failed result.
using BakeFunction = std::function<BakeResult(const BakeRequest& request, int32_t index,
                                              const std::string& output_folder, const std::string& profile_id,
                                              int quality)>;

// Starts a thread running `work`; throws std::system_error when no thread can be started.
using WorkerStarter = std::function<std::thread(std::function<void()> work)>;

struct ParallelBakeSetup {
  platform::FileSystem* files = nullptr;  // the temporary folder and the output folder
  platform::Clock* clock = nullptr;       // local time of the folder name
  unsigned hardware_threads = 1;          // as the standard library reports it; 0 when unknown
  BakeFunction bake;
  WorkerStarter start_worker;             // empty: a plain std::thread
  // True once the application is closing for good: workers claim no further image.
  std::function<bool()> stopping;
  // Called after each image (may be empty): the bake moves.
  std::function<void()> progressed;
};

// The number of workers: `max_threads` when it is 1 or more, else one fewer than the hardware threads
// (1 when the hardware reports 1 or fewer), then clamped to 1..8.
int BakeThreadCount(int32_t max_threads, unsigned hardware_threads);

// The quality that reaches the encoder: at most 100, and values below 2 become 1.
int ClampJpegQuality(int32_t quality);

// Bakes `requests` into a new folder "PictaVera_Baking_<date>_<time>" of the temporary folder and returns
// one result per request, in request order. When the folder cannot be made (the temporary folder refused,
// or anything but an existing folder in the way) every result fails with "Failed to create output
// directory" and no worker starts. Throws std::runtime_error with the system's reason when a worker cannot
// be started, after the workers already started have finished every request and been joined.
std::vector<BakeResult> BakeImagesInParallel(const std::vector<BakeRequest>& requests, int32_t max_threads,
                                             const std::string& profile_id, int quality,
                                             const ParallelBakeSetup& setup);

}  // namespace runner::printing
