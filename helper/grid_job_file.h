// The grid job file on disk: reading it by name, and the check that no output names an input.
//
// Thread safety: no state; calls on different jobs may run at once.
#pragma once

#include <optional>
#include <string>

#include "helper/grid_job.h"

namespace mosalith {

// Reads the job file at `utf8_path` (opened through OpenFile) over `job`, which should hold the
// defaults, with ParseGridJob's rules. On failure `job` may be partly filled and must not be used.
GridJobReadResult ReadGridJob(const std::string& utf8_path, GridJob& job);

// The first output path of `job` that names the same file as one of its photos or frames (device and
// inode, links followed), or nothing. Writing such an output would destroy a photo the job, or a later
// sheet of it, still needs.
std::optional<std::string> OutputThatIsAnInput(const GridJob& job);

}  // namespace mosalith
