// The system's adapters on Linux: cairo, POSIX files and processes.
#include <unistd.h>

#include "platform/cairo/cairo_graphics.h"
#include "platform/posix/posix_file_system.h"
#include "platform/posix/posix_process_runner.h"
#include "tests/runner/system_adapters.h"

namespace runner::testing {

std::unique_ptr<platform::Graphics> SystemGraphics(imaging::MemoryBudget* budget) {
  return std::make_unique<platform::CairoGraphics>(budget);
}

std::unique_ptr<platform::FileSystem> SystemFileSystem(const std::string& temp_folder) {
  return std::make_unique<platform::PosixFileSystem>(temp_folder);
}

std::unique_ptr<platform::ProcessRunner> SystemProcessRunner() {
  return std::make_unique<platform::PosixProcessRunner>();
}

int SystemProcessId() { return static_cast<int>(::getpid()); }

}  // namespace runner::testing
