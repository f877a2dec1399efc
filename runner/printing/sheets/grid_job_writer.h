// The grid job file as the application writes it for the helper program: the text of
// helper/grid_job.h (FormatGridJob), in a new file of the temporary folder.
// Thread safety: may be called from several threads at once; every file name is new.
#pragma once

#include <string>

#include "helper/grid_job.h"

namespace platform {
class FileSystem;
}

namespace runner::printing {

// Writes the job file as "grid_config_<process_id>_<n>.txt" in the temporary folder, n counting the jobs
// of this process from 1, created new (never replacing a file or following a link). Logs
// "DEBUG C++: imageEffects vector size = <records>" and "DEBUG C++: Wrote <lines> effects entries to config
// file". Returns the file's full path, or "" (after one "DEBUG C++: " line saying why) when the request
// cannot be written faithfully, the temporary folder is refused or the file cannot be written whole; no
// file is left behind then.
std::string WriteGridJobFile(const mosalith::GridJob& request, platform::FileSystem& files, int process_id);

}  // namespace runner::printing
