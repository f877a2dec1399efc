// The grid job file writer: the job's text in a new file of the temporary folder.
#include "runner/printing/sheets/grid_job_writer.h"

#include <atomic>
#include <optional>
#include <vector>

#include "platform/file_system.h"
#include "runner/log.h"

namespace runner::printing {

std::string WriteGridJobFile(const mosalith::GridJob& request, platform::FileSystem& files, int process_id) {
  // Jobs overlap (a blocking sheet job beside background ones): every job gets a name of its own.
  static std::atomic<unsigned long> job_counter{0};

  std::string refusal;
  std::optional<mosalith::GridJobText> job = mosalith::FormatGridJob(request, &refusal);
  if (!job) {
    LogLine("DEBUG C++: Cannot write config file: " + refusal);
    return "";
  }
  const base::StatusOr<std::string> folder = files.TempFolder();
  if (!folder.ok()) {
    LogLine("DEBUG C++: Temporary folder refused, " + folder.status().ToString());
    return "";
  }
  LogLine("DEBUG C++: imageEffects vector size = " + std::to_string(request.effects.size()));
  const std::vector<uint8_t> bytes(job->text.begin(), job->text.end());
  base::Status written;
  for (int attempt = 0; attempt < 16; ++attempt) {
    const std::string path = *folder + "/grid_config_" + std::to_string(process_id) + "_" +
                             std::to_string(job_counter.fetch_add(1) + 1) + ".txt";
    written = files.WriteNewFile(path, bytes);
    // Taken: left by an earlier run of a process with the same id.
    if (written.Is(base::Status::Code::kAlreadyExists)) continue;
    if (!written.ok()) break;
    LogLine("DEBUG C++: Wrote " + std::to_string(job->effect_lines) + " effects entries to config file");
    return path;
  }
  LogLine("DEBUG C++: Failed to write config file, " + written.ToString());
  return "";
}

}  // namespace runner::printing
