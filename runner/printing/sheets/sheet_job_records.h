// Sheet job records: the job a sheet request decodes to, and the GridResult it produces.
#pragma once

#include <cstdint>
#include <string>

#include "helper/grid_job.h"

namespace runner::printing {

// One sheet job's input is a mosalith::GridJob (helper/grid_job.h), passed by value: a job owns its copy
// while it runs. Paths are UTF-8.

// The outcome of one sheet job, produced once and handed over by value.
struct GridResult {
  bool success = false;      // the sheets were produced
  std::string errorMessage;  // empty on success, otherwise the reason
  int32_t loadTimeMs = 0;    // spent loading photos (the in-process composer only)
  int32_t composeTimeMs = 0; // spent composing sheets (the in-process composer only)
  int32_t totalTimeMs = 0;   // the whole job
};

}  // namespace runner::printing
