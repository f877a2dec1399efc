// The grid job file on disk: read whole through OpenFile, outputs compared with inputs by identity.
#include "helper/grid_job_file.h"

#include <cstdio>

#include "helper/file_open.h"

namespace mosalith {

GridJobReadResult ReadGridJob(const std::string& utf8_path, GridJob& job) {
  FilePtr file = OpenFile(utf8_path, "rb");
  if (!file) return {GridJobStatus::kCannotOpen, {}};
  std::string text;
  char chunk[65536];
  size_t got = 0;
  while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) text.append(chunk, got);
  if (std::ferror(file.get())) return {GridJobStatus::kCannotOpen, {}};
  return ParseGridJob(text, job);
}

std::optional<std::string> OutputThatIsAnInput(const GridJob& job) {
  return OutputNamingAnInput(job, IdentifyFile);
}

}  // namespace mosalith
