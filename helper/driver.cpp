// The mosalith driver: start-up lines, job reading and the mapping of outcomes to exit codes.
#include "helper/driver.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>

#include "helper/grid_job_file.h"
#include "helper/image_io.h"
#include "helper/log.h"
#include "helper/production.h"
#include "imaging/memory_budget.h"

namespace mosalith {

int RunDriver(int argc, const char* const* argv) {
  if (argc < 2 || argv[1] == nullptr) {
    LogLine("Usage: mosalith.exe <config_file>");
    return kExitBadJob;
  }
  const std::string path = argv[1];
  LogLine("Mosalith: Starting (stb version)...");
  LogLine("Mosalith: Config file: " + path);

  GridJob job;
  const GridJobReadResult read = ReadGridJob(path, job);
  if (!read.ok()) {
    if (read.status == GridJobStatus::kInvalidValue) LogLine("Mosalith: Invalid value for " + read.invalid_key);
    LogLine("Mosalith: Failed to parse config");
    return kExitBadJob;
  }
  LogLine("Mosalith: Config parsed - " + std::to_string(job.images.size()) + " images, " +
          std::to_string(job.outputs.size()) + " outputs");
  // Refused before anything is written: the sheet would replace a photo the job still needs.
  if (const std::optional<std::string> output = OutputThatIsAnInput(job)) {
    LogLine("Mosalith: Output path is one of the input files: " + *output);
    return kExitBadJob;
  }

  // One budget for every pixel buffer of the job: the workers wait for each other's memory.
  imaging::MemoryBudget budget(HelperMemoryBudgetBytes(std::getenv("MOSALITH_MEMORY_MB"), std::getenv("PICTAVERA_MEMORY_MB")));
  switch (RunProduction(job, WorkerCount(std::thread::hardware_concurrency()), &budget)) {
    case ProductionStatus::kOk:
      break;
    case ProductionStatus::kInvalidJob:
      return kExitBadJob;
    case ProductionStatus::kSheetsFailed:
      return kExitSheetsFailed;
    case ProductionStatus::kWorkerStartFailed:
      return kExitWorkerFailed;
  }
  std::fputs("OK\n", stdout);
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace mosalith
