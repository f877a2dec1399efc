// The mosalith driver: start-up lines, job reading and the mapping of outcomes to exit codes.
#include "helper/driver.h"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <thread>

#include "helper/grid_job_file.h"
#include "helper/image_io.h"
#include "helper/log.h"
#include "helper/own_leftovers.h"
#include "helper/production.h"
#include "imaging/memory_budget.h"

namespace mosalith {
namespace {

constexpr char kHelp[] =
    "usage: mosalith JOB_FILE\n"
    "Composes the sheets of one grid job file into JPEG files, on worker threads.\n"
    "Progress lines go to standard error, \"OK\" to standard output when every sheet was written.\n"
    "\n"
    "Exit codes: 0 every sheet was written; 1 no job file, or a job that cannot be read or laid out;\n"
    "2 some sheet could not be written; 3 a worker thread could not be started.\n"
    "Environment: MOSALITH_DECODER=stb selects the reference codec path.\n"
    "See mosalith(1) for the job file's format.\n";

}  // namespace

int RunDriver(int argc, const char* const* argv) {
  if (argc == 2 && argv[1] != nullptr) {
    const std::string_view option = argv[1];
    if (option == "--help" || option == "-h") {
      std::fputs(kHelp, stdout);
      return kExitOk;
    }
    if (option == "--version") {
      std::fputs("mosalith " PICTAVERA_VERSION "\n", stdout);
      return kExitOk;
    }
  }
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
  for (const std::string& folder : FoldersOf(job.outputs)) RemoveOwnLeftovers(folder);

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
