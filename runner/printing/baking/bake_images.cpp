// Bake orchestration: thread count, output folder, the worker pool with its claim counter.
#include "runner/printing/baking/bake_images.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <exception>
#include <memory>
#include <optional>
#include <stdexcept>
#include <system_error>

#include "platform/clock.h"
#include "platform/file_system.h"
#include "runner/log.h"
#include "runner/printing/baking/bake_geometry.h"
#include "runner/printing/baking/color_profiles.h"

namespace runner::printing {
namespace {

constexpr int kMaxWorkers = 8;

// What the platform thread and the workers of one bake share. Lives on the platform thread's stack until
// every worker has been joined.
struct Pool {
  const std::vector<BakeRequest>& requests;
  const std::string& folder;
  const std::string& profile_id;
  int quality;
  const BakeFunction& bake;
  std::vector<BakeResult> results;
  const std::function<bool()>& stopping;
  const std::function<void()>& progressed;
  std::atomic<uint64_t> next_claim{0};
  std::atomic<int> exited{0};
  std::unique_ptr<std::atomic<long>[]> thread_ids;
  // Wakes the waiting thread when the last image is claimed or a worker leaves.
  std::mutex progress_mutex;
  std::condition_variable progress;

  void Progressed() {
    { std::lock_guard lock(progress_mutex); }
    progress.notify_all();
  }
};

void BakeClaimed(Pool& pool, uint64_t claimed, long tid) {
  const int32_t i = static_cast<int32_t>(claimed);
  const std::string image = std::to_string(i);
  try {
    BakeResult result = pool.bake(pool.requests[claimed], i, pool.folder, pool.profile_id, pool.quality);
    pool.results[claimed] = std::move(result);
    const BakeResult& stored = pool.results[claimed];
    LogLine("DEBUG: Worker thread " + std::to_string(tid) + " returned from BakeSingleImage for image " + image);
    if (stored.success) {
      LogLine("INFO: Thread " + std::to_string(tid) + " completed image " + image + " successfully");
    } else {
      LogLine("ERROR: Thread " + std::to_string(tid) + " failed image " + image + ": " + stored.error);
    }
  } catch (const std::exception& e) {
    LogLine("ERROR: Thread " + std::to_string(tid) + " exception in BakeSingleImage for image " + image + ": " +
            e.what());
    BakeResult& failed = pool.results[claimed];
    failed = BakeResult{};
    failed.error = std::string("Thread exception: ") + e.what();
    failed.index = i;
  } catch (...) {
    LogLine("ERROR: Thread " + std::to_string(tid) + " unknown exception in BakeSingleImage for image " + image);
    BakeResult& failed = pool.results[claimed];
    failed = BakeResult{};
    failed.error = "Thread unknown exception";
    failed.index = i;
  }
  LogLine("DEBUG: Worker thread " + std::to_string(tid) + " finished processing image " + image);
}

void WorkerLoop(Pool& pool, int worker) {
  const long tid = CurrentThreadId();
  pool.thread_ids[worker].store(tid);
  const uint64_t count = pool.requests.size();
  try {
    for (;;) {
      if (pool.stopping && pool.stopping()) {
        // The application is closing for good: the images not yet claimed keep their failed results.
        pool.next_claim.store(count);
        break;
      }
      const uint64_t claimed = pool.next_claim.fetch_add(1);
      if (claimed + 1 == count) pool.Progressed();
      if (claimed >= count) break;
      LogLine("INFO: Thread " + std::to_string(tid) + " baking image " + std::to_string(claimed) + "/" +
              std::to_string(count));
      BakeClaimed(pool, claimed, tid);
      if (pool.progressed) pool.progressed();
    }
    LogLine("INFO: Thread " + std::to_string(tid) + " exiting normally");
  } catch (const std::exception& e) {
    LogLine("FATAL: Thread " + std::to_string(tid) + " worker function exception: " + e.what());
  } catch (...) {
    LogLine("FATAL: Thread " + std::to_string(tid) + " worker function unknown exception");
  }
  pool.exited.fetch_add(1);
  pool.Progressed();
}

// Joins whatever is still joinable when the platform thread leaves early, so no worker outlives the
// pool it uses.
struct JoinOnExit {
  std::vector<std::thread>& workers;
  ~JoinOnExit() {
    for (std::thread& worker : workers) {
      if (worker.joinable()) worker.join();
    }
  }
};

// The output folder of this bake, or why there is none.
base::StatusOr<std::string> MakeOutputFolder(const ParallelBakeSetup& setup) {
  if (setup.files == nullptr || setup.clock == nullptr) return base::Status::Unsupported("no file access");
  const base::StatusOr<std::string> temp = setup.files->TempFolder();
  if (!temp.ok()) return temp.status();
  const std::string folder = *temp + "/" + BakeFolderName(ToLocalTime(setup.clock->WallNow()));
  // Two bakes within one second share the folder; their file names stay distinct. Anything else of that
  // name fails here: a file would fail every save, and a link would send the bake wherever it points.
  const base::Status created = setup.files->CreateFolder(folder, 0700);
  if (created.Is(base::Status::Code::kAlreadyExists)) {
    switch (setup.files->KindAt(folder)) {
      case platform::PathKind::kFolder: return folder;
      case platform::PathKind::kLink:
        return base::Status::AccessDenied(folder + ": a link, not a folder").WithSystemError(ELOOP);
      default: return base::Status::AccessDenied(folder + ": not a folder").WithSystemError(ENOTDIR);
    }
  }
  if (!created.ok()) return created;
  return folder;
}

std::vector<BakeResult> FailedResults(size_t count, const std::string& text) {
  std::vector<BakeResult> results(count);
  for (size_t i = 0; i < count; ++i) {
    results[i].error = text;
    results[i].index = static_cast<int32_t>(i);
  }
  return results;
}

}  // namespace

int BakeThreadCount(int32_t max_threads, unsigned hardware_threads) {
  int64_t count = max_threads >= 1 ? max_threads : (hardware_threads <= 1 ? 1 : int64_t{hardware_threads} - 1);
  return static_cast<int>(std::clamp<int64_t>(count, 1, kMaxWorkers));
}

int ClampJpegQuality(int32_t quality) {
  if (quality > 100) return 100;
  if (quality < 2) return 1;
  return quality;
}

std::vector<BakeResult> BakeImagesInParallel(const std::vector<BakeRequest>& requests, int32_t max_threads,
                                             const std::string& profile_id, int quality,
                                             const ParallelBakeSetup& setup) {
  if (requests.empty()) return {};
  const size_t count = requests.size();
  LogLine("INFO: Using color profile: " + profile_id);
  const int threads = BakeThreadCount(max_threads, setup.hardware_threads);
  LogLine("INFO: Starting parallel baking with " + std::to_string(threads) + " threads for " +
          std::to_string(count) + " images");

  const base::StatusOr<std::string> folder = MakeOutputFolder(setup);
  if (!folder.ok()) {
    LogLine("ERROR: Failed to create output directory, error=" + std::to_string(folder.status().system_error()));
    LogLine("DEBUG C++: Output directory refused: " + folder.status().ToString());
    return FailedResults(count, "Failed to create output directory");
  }
  LogLine("INFO: Output directory: " + *folder);

  const int wanted_workers = static_cast<int>(std::min<size_t>(count, static_cast<size_t>(threads)));
  Pool pool{requests,      *folder,        profile_id, quality, setup.bake, std::vector<BakeResult>(count),
            setup.stopping, setup.progressed, {},         {},      {},         {},
            {}};
  pool.thread_ids = std::make_unique<std::atomic<long>[]>(static_cast<size_t>(wanted_workers));
  for (int w = 0; w < wanted_workers; ++w) pool.thread_ids[w].store(0);

  std::vector<std::thread> workers;
  workers.reserve(static_cast<size_t>(wanted_workers));
  JoinOnExit join_on_exit{workers};
  std::string start_failure;
  for (int w = 0; w < wanted_workers; ++w) {
    // The workers' lines are the call's, within its one budget.
    std::function<void()> work = [&pool, w, lines = CurrentCallLogBudget()] {
      CallLogScope scope(lines);
      WorkerLoop(pool, w);
    };
    try {
      workers.push_back(setup.start_worker ? setup.start_worker(std::move(work)) : std::thread(std::move(work)));
    } catch (const std::system_error& e) {
      // The started workers claim every request between them; they are joined below as usual.
      start_failure = e.what();
      break;
    }
  }
  const int started = static_cast<int>(workers.size());

  LogLine("INFO: Waiting for " + std::to_string(started) + " threads to complete...");
  // The wait also ends when every worker has left, in case none is left to claim the rest.
  const auto all_claimed = [&pool, count, started] {
    return pool.next_claim.load() >= count || pool.exited.load() >= started;
  };
  {
    std::unique_lock lock(pool.progress_mutex);
    pool.progress.wait(lock, all_claimed);
  }

  LogLine("INFO: All work completed, joining threads...");
  for (int w = 0; w < started; ++w) {
    long tid = 0;
    while ((tid = pool.thread_ids[w].load()) == 0) std::this_thread::yield();  // set first thing by the worker
    LogLine("INFO: Joining thread " + std::to_string(w) + " (ID: " + std::to_string(tid) + ")...");
    workers[static_cast<size_t>(w)].join();
    LogLine("INFO: Thread " + std::to_string(w) + " joined successfully");
  }
  LogLine("INFO: All threads joined");
  if (!start_failure.empty()) throw std::runtime_error(start_failure);

  const auto succeeded = std::count_if(pool.results.begin(), pool.results.end(),
                                       [](const BakeResult& result) { return result.success; });
  LogLine("INFO: Parallel baking completed: " + std::to_string(succeeded) + " succeeded, " +
          std::to_string(static_cast<long>(count) - succeeded) + " failed");
  return std::move(pool.results);
}

}  // namespace runner::printing
