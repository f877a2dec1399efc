// RealServices: the composition root. Builds the real adapters of every port and the shared state once,
// for the program's lifetime, and lends them out as one Services.
#pragma once

#include <memory>

#include "runner/printing/sheets/grid_job_table.h"
#include "runner/services.h"
#include "runner/thread_registry.h"

namespace platform {
class Clock;
class FileSystem;
class ProcessRunner;
}

namespace runner {

// Thread safety: build and destroy on the main thread; services() is read-only.
class RealServices {
 public:
  RealServices();
  // Joins the background threads before the adapters they use go away.
  ~RealServices();
  RealServices(const RealServices&) = delete;
  RealServices& operator=(const RealServices&) = delete;

  const Services& services() const { return services_; }

 private:
  std::unique_ptr<platform::Clock> clock_;
  std::unique_ptr<platform::FileSystem> files_;
  std::unique_ptr<platform::ProcessRunner> processes_;
  ThreadRegistry threads_;
  printing::GridJobTable grid_jobs_;
  Services services_;
};

}  // namespace runner
