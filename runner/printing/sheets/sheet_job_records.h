// Sheet job records: the job a sheet request decodes to, and the GridResult it produces.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "helper/grid_job.h"

namespace runner::printing {

// One sheet job's input is a mosalith::GridJob (helper/grid_job.h), passed by value: a job owns its copy
// while it runs. Paths are UTF-8.

// A photo of a sheet job that could not be used: its position in the images list and why ("file not
// found", "unsupported format HEIC", "damaged data", ...). Its cell stays white.
struct FailedImage {
  int32_t index = 0;
  std::string reason;
  bool operator==(const FailedImage&) const = default;
};

// The outcome of one sheet job, produced once and handed over by value.
struct GridResult {
  bool success = false;      // the sheets were produced
  std::string errorMessage;  // empty on success, otherwise the reason
  int32_t loadTimeMs = 0;    // spent loading photos (the in-process composer only)
  int32_t composeTimeMs = 0; // spent composing sheets (the in-process composer only)
  int32_t totalTimeMs = 0;   // the whole job
  std::vector<FailedImage> failedImages;  // in images order; the job still succeeds without them
};

}  // namespace runner::printing
