// The system's adapters on Windows: GDI+, Win32 files and processes.
#include <process.h>

#include "platform/gdiplus/gdiplus_graphics.h"
#include "platform/win32/win_file_system.h"
#include "platform/win32/win_process_runner.h"
#include "tests/runner/system_adapters.h"

namespace runner::testing {

std::unique_ptr<platform::Graphics> SystemGraphics(imaging::MemoryBudget* budget) {
  return std::make_unique<platform::GdiplusGraphics>(budget);
}

std::unique_ptr<platform::FileSystem> SystemFileSystem(const std::string& temp_folder) {
  return std::make_unique<platform::WinFileSystem>(temp_folder);
}

std::unique_ptr<platform::ProcessRunner> SystemProcessRunner() {
  return std::make_unique<platform::WinProcessRunner>();
}

int SystemProcessId() { return ::_getpid(); }

}  // namespace runner::testing
